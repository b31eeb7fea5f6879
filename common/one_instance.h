// One process of a kind a session, also when two start at the same moment: the first takes a named
// mutex and holds it until it ends.
#pragma once

// 1 for the first process of the session that asks for `mutexName`; 0 when another holds it.
int IsFirstInstance(const char* mutexName);

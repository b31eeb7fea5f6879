// The one JSON form of an adapter access, shared by refresh-sim --json and the Wine test debugger so
// that their traces compare: {"op": "in" or "out", "port": P, "value": V} or
// {"op": "store" or "load", "address": A, "value": V}. nlohmann-json finds it for any of its JSON types, and
// for a vector of accesses, which becomes an array.
#pragma once

#include <nlohmann/json.hpp>

#include "adapter/adapter.h"

namespace adapter {

template <typename Json> void to_json(Json& j, const Access& a) {
    switch (a.op) {
    case Op::In: j = Json{{"op", "in"}, {"port", a.where}, {"value", a.value}}; break;
    case Op::Out: j = Json{{"op", "out"}, {"port", a.where}, {"value", a.value}}; break;
    case Op::Store: j = Json{{"op", "store"}, {"address", a.where}, {"value", a.value}}; break;
    case Op::Load: j = Json{{"op", "load"}, {"address", a.where}, {"value", a.value}}; break;
    }
}

} // namespace adapter

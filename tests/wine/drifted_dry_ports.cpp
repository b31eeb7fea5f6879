// The diagnostic's primitives with their signatures drifted, as a careless edit could leave them
// (here by renaming): the product's calls then find the utility's real primitives, when those are
// linked in too, and the diagnostic writes every register and the window. Built as
// refcheck-mislinked.exe, which the executable check of the diagnostic must refuse.
#define ReadPort DriftedReadPortByte
#define WritePort DriftedWritePortByte
#define StoreWindowByte DriftedStoreWindowByte
#define LoadWindowByte DriftedLoadWindowByte
#include "diag/dry_ports.cpp"

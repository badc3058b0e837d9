#pragma once
// What the process holds, for tests and benchmarks that check nothing grows.
// Under Wine GetGuiResources, GetProcessHandleCount and the private usage
// answer 0, so windows are counted by enumeration, handles from the
// system's handle list, GDI objects, icons and cursors by probing their
// handle tables, and private bytes page by page. The probes take some tens
// of milliseconds: measure before and after the work, not inside it.
#include <windows.h>

struct ProcessResources {
    DWORD windows;      // windows of this process, top-level, child and message-only
    DWORD handles;      // kernel handles
    DWORD icons;        // icons and cursors, shared ones included
    DWORD userObjects;  // GetGuiResources' count; where it answers 0, windows plus icons
    DWORD gdiObjects;   // GetGuiResources' count; where it answers 0, the live entries of the GDI table
    // Of those, the pens, brushes, fonts, bitmaps and palettes: what a lost
    // object of a dialog shows in, without the display DCs and their regions
    // that Wine keeps after a busier moment. The whole count on Windows.
    DWORD drawingObjects;
    SIZE_T privateBytes;
};

ProcessResources MeasureProcess();

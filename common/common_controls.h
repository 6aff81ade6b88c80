// The common controls that the product's dialogs use.
//
// comctl32.dll brings up the user interface when it loads: its start-up
// waits for the display driver. A DllMain runs under the loader lock, and a
// thread of the host that is starting its display driver at that moment
// waits for that lock, so loading comctl32 from DllMain can hang the host for
// good. The first dialog loads it instead, through this function, where no
// lock is held.
#pragma once

namespace tv {

// Loads comctl32.dll and registers its window classes, once per process;
// later calls return at once. Safe to call from any thread.
void InitCommonControlsOnce();

}  // namespace tv

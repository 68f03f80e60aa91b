#pragma once

namespace dorvanta {

// Code built for SSE runs at a fraction of its speed on many Intel processors while
// the upper halves of the AVX registers are marked in use: a library built for AVX
// can leave them so, and a new thread inherits the state of the thread that started
// it (seen: a load in the program's worker thread took 1.4 times as long as in a
// plain process). Clearing them is one instruction; long text work calls this first.
void ClearUpperVectorState();

}  // namespace dorvanta

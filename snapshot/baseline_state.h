#pragma once

// What the record beside a baseline says of it: written by a pass that ran to its end, by one
// that did not (stopped, killed, or its files could not be written), or by an earlier build,
// whose records never tell. Plain C++.
enum class BaselineState { Whole, Incomplete, Earlier };

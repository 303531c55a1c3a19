#pragma once

// The unit moves of ITextRange (MoveEnd and Move) over any story, given its
// length and its unit boundaries: one definition for every document, so that
// each answers them identically (see tom.h).

#include <cstdint>

namespace tagsmith {

struct TomBounds {
  int32_t start = 0;
  int32_t end = 0;
};

// Moves the end by `count` units (`next(pos)` and `prev(pos)` give the unit
// boundary after and before pos); the start follows when passed. Returns the
// units moved.
template <typename Next, typename Prev>
int32_t TomMoveEnd(TomBounds& b, int32_t count, int32_t length, Next next, Prev prev) {
  int32_t moved = 0;
  for (; moved < count && b.end < length; ++moved) b.end = next(b.end);
  for (; moved > count && b.end > 0; --moved) b.end = prev(b.end);
  if (b.start > b.end) b.start = b.end;
  return moved;
}

// Moves the range as an insertion point by `count` units: a non-empty range
// first collapses to its end (forward) or start (backward), which counts as
// one unit; a count of 0 collapses an insertion point only. Returns the
// units moved.
template <typename Next, typename Prev>
int32_t TomMove(TomBounds& b, int32_t count, int32_t length, Next next, Prev prev) {
  int32_t moved = 0;
  int32_t pos;
  if (count > 0) {
    pos = b.end;
    if (b.start != b.end) moved = 1;  // collapsing to the end is the first unit
    for (; moved < count && pos < length; ++moved) pos = next(pos);
  } else if (count < 0) {
    pos = b.start;
    if (b.start != b.end) moved = -1;
    for (; moved > count && pos > 0; --moved) pos = prev(pos);
  } else {
    if (b.start != b.end) return 0;
    pos = b.start;
  }
  b.start = b.end = pos;
  return moved;
}

}  // namespace tagsmith

#pragma once
// A guard in front of every JSON parse of outside text: the parser keeps one
// level of its own per nesting level, and freeing a deep value recurses, so a
// few kilobytes of brackets would cost megabytes of memory or the stack.

#include <string_view>

namespace qvipc::wire {

// True when no array or object in the text nests deeper than maxDepth
// (brackets inside strings do not count). Says nothing about validity.
bool jsonNestingWithin(std::string_view text, int maxDepth);

} // namespace qvipc::wire

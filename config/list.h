// The list syntax of multi-valued keys: comma-separated items, each with an
// optional one-byte disc prefix ("1:").
#pragma once

#include <span>

namespace config {

bool IsBlank(unsigned char ch);      // tab, space
bool IsSeparator(unsigned char ch);  // end of text, LF, CR, comma
bool IsDigit(unsigned char ch);      // 0 to 9: install modes, disc numbers, numbers

// Takes the next item at `cursor` into `item` and moves the cursor past it.
// 1 with an item (possibly empty after a bare prefix), 0 when the list has
// no further item. A disc prefix sets the UpdateState's itemDisc. An item
// longer than item.size() - 1 bytes is cut, and the cursor still moves past
// all of it.
int NextListItem(std::span<char> item, const char*& cursor);

}  // namespace config

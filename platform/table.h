#pragma once
// What a table control shows: column headings and rows of cells, a row holding rows of its own
// that the user opens (a group, the details of a count). Cells are 8-bit bytes, as every text of
// the seam.

#include <string>
#include <vector>

namespace veskator {

struct TableRow {
    std::vector<std::string> cells;
    std::vector<TableRow> children;
    bool open = false;  // its rows shown from the start
    bool last = false;  // stays below the others whatever the sort
};

struct TableContent {
    std::vector<std::string> columns;
    std::vector<TableRow> rows;
};

// The rows as a copy puts them on the clipboard: a line a row, its cells separated by tabs, each
// row's own rows after it; lines end in LF. A tab or line end inside a cell becomes a blank.
std::string tableText(const std::vector<TableRow>& rows);

}  // namespace veskator

#include "platform/table.h"

namespace veskator {

namespace {

void addRows(const std::vector<TableRow>& rows, std::string& text) {
    for (const TableRow& row : rows) {
        for (std::size_t i = 0; i < row.cells.size(); ++i) {
            if (i > 0) text += '\t';
            // A tab or a line end inside a cell would split it.
            for (const char c : row.cells[i])
                text += (c == '\t' || c == '\r' || c == '\n') ? ' ' : c;
        }
        text += '\n';
        addRows(row.children, text);
    }
}

}  // namespace

std::string tableText(const std::vector<TableRow>& rows) {
    std::string text;
    addRows(rows, text);
    return text;
}

}  // namespace veskator

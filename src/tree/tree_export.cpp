// tree_export.cpp --
//
//     The export walk.

#include "tree/tree_export.h"

#include <vector>

namespace kelb {

void TreeExport(const Node &top, unsigned topFlags, unsigned deepFlags, TreeExportSink &sink) {
    struct Frame {
        const Node *node;  // whose children are being written
        bool inJ;          // its i-children are done
    };
    std::vector<Frame> stack{{&top, false}};
    const Node *current = (topFlags & kExportI) ? top.iChildren : nullptr;
    for (;;) {
        if (current != nullptr) {
            sink.WriteNode(*current);
            const bool opens = (current->iChildren != nullptr && (deepFlags & kExportI)) ||
                               (current->jChildren != nullptr && (deepFlags & kExportJ));
            if (!opens) {
                current = current->next;
                continue;
            }
            sink.Open();
            stack.push_back({current, false});
            current = (deepFlags & kExportI) ? current->iChildren : nullptr;
            continue;
        }
        Frame &frame = stack.back();
        const unsigned flags = stack.size() == 1 ? topFlags : deepFlags;
        if (!frame.inJ) {
            frame.inJ = true;
            current = (flags & kExportJ) ? frame.node->jChildren : nullptr;
            continue;
        }
        if (stack.size() == 1) return;
        sink.Close();
        current = frame.node->next;
        stack.pop_back();
    }
}

}  // namespace kelb

// The ERRORS section of each manual page against its module's table of
// failures: every condition a module raises is documented, and every
// condition the page documents is one the module raises.

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "device/device_errors.h"
#include "matrix/matrix_messages.h"
#include "process/process_errors.h"
#include "tree/tree_error.h"

namespace kelb {
namespace {

// The text of a page from its ERRORS section to the next section.
std::string ErrorsSection(const std::string &page) {
    std::ifstream in(std::string(KELB_SOURCE_DIR) + "/doc/" + page + ".man");
    std::stringstream text;
    text << in.rdbuf();
    const std::string all = text.str();
    const std::size_t start = all.find("[section ERRORS]");
    if (start == std::string::npos) return {};
    return all.substr(start, all.find("[section", start + 1) - start);
}

// The conditions a section documents: each word of capitals and "_" that
// directly follows `prefix`.
std::set<std::string> Documented(const std::string &section, const std::string &prefix) {
    std::set<std::string> found;
    for (std::size_t at = section.find(prefix); at != std::string::npos;
         at = section.find(prefix, at + 1)) {
        const std::size_t start = at + prefix.size();
        const std::size_t end = section.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ_", start);
        if (end != start) found.insert(section.substr(start, end - start));
    }
    return found;
}

template <typename Rows>
std::set<std::string> Raised(const Rows &rows) {
    std::set<std::string> conditions;
    for (const auto &row : rows) conditions.insert(row.condition);
    return conditions;
}

TEST(ErrorTables, ManualsListEveryConditionAndNoOther) {
    const std::set<std::string> matrix(std::begin(kMatrixConditions), std::end(kMatrixConditions));
    const struct {
        const char *page;
        std::set<std::string> raised;
        std::vector<std::string> prefixes;  // what stands before each listed condition
        bool inSentence;                    // listed in the text before the definitions
    } modules[] = {
        {"tree", Raised(kTreeConditions), {"[def [const ", "[def \"[const "}, false},
        {"process", Raised(kProcessFailures), {"[def [const \"KELB PROCESS "}, false},
        {"device", Raised(kDeviceFailures), {"[def [const \"KELB DEVICE "}, false},
        {"matrix", matrix, {"[const "}, true},
        {"mexpr", matrix, {"[const "}, true},
        {"vexpr", matrix, {"[const "}, true},
    };
    for (const auto &module : modules) {
        SCOPED_TRACE(module.page);
        std::string section = ErrorsSection(module.page);
        ASSERT_FALSE(section.empty());
        if (module.inSentence) section.resize(section.find("[list_begin"));
        std::set<std::string> documented;
        for (const std::string &prefix : module.prefixes) {
            documented.merge(Documented(section, prefix));
        }
        EXPECT_EQ(documented, module.raised);
    }
}

}  // namespace
}  // namespace kelb

// The ERRORS section of each manual page against its module's table of
// failures: every condition a module raises is documented, and every
// condition the page documents is one the module raises.

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

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

// The conditions a section documents: the words that `pattern`'s first
// group catches.
std::set<std::string> Documented(const std::string &section, const std::string &pattern) {
    std::set<std::string> found;
    const std::regex re(pattern);
    for (auto it = std::sregex_iterator(section.begin(), section.end(), re);
         it != std::sregex_iterator(); ++it) {
        found.insert((*it)[1]);
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
    // The matrix pages name their conditions in one sentence.
    const char *sentence = R"(\[const ([A-Z][A-Z_]+)\][,.]?\s)";
    const struct {
        const char *page;
        std::set<std::string> raised;
        const char *documented;  // catches each condition the page lists
    } modules[] = {
        {"tree", Raised(kTreeConditions), R"(\[def "?\[const ([A-Z_]+)\])"},
        {"process", Raised(kProcessFailures), R"(\[def \[const "KELB PROCESS ([A-Z_]+))"},
        {"device", Raised(kDeviceFailures), R"(\[def \[const "KELB DEVICE ([A-Z_]+))"},
        {"matrix", matrix, sentence},
        {"mexpr", matrix, sentence},
        {"vexpr", matrix, sentence},
    };
    for (const auto &module : modules) {
        SCOPED_TRACE(module.page);
        const std::string section = ErrorsSection(module.page);
        ASSERT_FALSE(section.empty());
        const std::string head = section.substr(0, section.find("[list_begin"));
        const bool inSentence = module.documented == sentence;
        EXPECT_EQ(Documented(inSentence ? head : section, module.documented), module.raised);
    }
}

}  // namespace
}  // namespace kelb

#pragma once

#include <cctype>
#include <string>
#include <string_view>

namespace orlet::test {

// A readable, valid test name from a case's sentence: "a prompt starts an activity" becomes
// "APromptStartsAnActivity", prefixed with the case's index to stay unique.
inline std::string caseName(std::size_t index, std::string_view sentence) {
    std::string name = std::to_string(index) + "_";
    bool upper = true;
    for (const char c : sentence) {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            name += upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
            upper = false;
        } else {
            upper = true;
        }
    }
    return name;
}

// For INSTANTIATE_TEST_SUITE_P: names each case after its `sentence` field.
struct SentenceName {
    template <typename Info> std::string operator()(const Info& info) const {
        return caseName(info.index, info.param.sentence);
    }
};

} // namespace orlet::test

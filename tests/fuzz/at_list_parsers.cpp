// Reply text straight from the device into every field and list parser. The
// input is not terminated: the parsers must stop at the size they are given.
#include "device/at_fields.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > AT_FIELD_SIZE * 120)
        return 0;
    // Exact-size copies, so that any read past the end is reported.
    std::vector<char> text(data, data + size);

    auto fields = std::make_unique<AtFieldList>();
    SplitAtFields(text.data(), text.size(), fields.get());

    char first[AT_FIELD_SIZE];
    GetFirstAtField(text.data(), text.size(), first);

    auto contexts = std::make_unique<PdpContextList>();
    ParsePdpContextList(text.data(), text.size(), contexts.get());

    std::vector<char> operators(text);
    auto operatorList = std::make_unique<OperatorList>();
    ParseOperatorList(operators.data(), operators.size(), operatorList.get());

#if defined(SETWELL_USER_AUTH)
    auto auth = std::make_unique<IdAuthList>();
    ParseIdAuthList(text.data(), text.size(), auth.get());
#endif

    // The in-place helpers take terminated lines in a field buffer.
    char line[AT_FIELD_SIZE];
    const size_t length = size < sizeof line - 1 ? size : sizeof line - 1;
    std::memcpy(line, data, length);
    line[length] = '\0';
    char copy[AT_FIELD_SIZE];
    std::memcpy(copy, line, sizeof copy);
    NormalizeAtCsvLine(copy);
    std::memcpy(copy, line, sizeof copy);
    NormalizeAtCsvLine(copy, sizeof copy);
    std::memcpy(copy, line, sizeof copy);
    StripAtParentheses(copy);
    return 0;
}

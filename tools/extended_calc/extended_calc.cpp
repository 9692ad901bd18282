// extended_calc: applies one operation of Extended to lines of hexadecimal operands, so that the
// arithmetic can be checked against any outside set of test vectors. Each value is 20 hexadecimal
// digits, 4 of sign and exponent then 16 of significand (3FFF8000000000000000 is 1).
//
//   extended_calc add|sub|mul|div|lt|eq|rint  < operands
//
// Each input line holds two operands (one for rint); each output line repeats them and adds the result:
// a value, 1 or 0 for a comparison, or "fault" when the operation faults.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "numeric/extended.hpp"

namespace {

bool faulted = false;

void noteFault(std::uint32_t, const void*) { faulted = true; }

bool parseValue(const char*& text, m2s::Extended& value) {
    while (*text == ' ' || *text == '\t') ++text;
    std::uint64_t parts[2] = {0, 0};
    for (int i = 0; i < 20; ++i) {
        const char c = text[i];
        unsigned digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return false;
        }
        std::uint64_t& part = parts[i < 4 ? 0 : 1];
        part = (part << 4) | digit;
    }
    text += 20;
    value = m2s::extendedFromBits(static_cast<std::uint16_t>(parts[0]), parts[1]);
    return true;
}

void printValue(m2s::Extended value) {
    std::printf("%04X%016llX", static_cast<unsigned>(value.signExponent),
                static_cast<unsigned long long>(value.significand));
}

}  // namespace

int main(int argc, char** argv) {
    static const char* const operations[] = {"add", "sub", "mul", "div", "lt", "eq", "rint"};
    int operation = -1;
    for (int i = 0; argc == 2 && i < 7; ++i) {
        if (std::strcmp(argv[1], operations[i]) == 0) operation = i;
    }
    if (operation < 0) {
        std::fprintf(stderr, "usage: extended_calc add|sub|mul|div|lt|eq|rint < operands\n");
        return 2;
    }
    m2s::setExtendedFaultHandler(noteFault);
    const int operandCount = operation == 6 ? 1 : 2;
    char line[256];
    int lineNumber = 0;
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
        ++lineNumber;
        const char* cursor = line;
        m2s::Extended a{};
        m2s::Extended b{};
        if (!parseValue(cursor, a) || (operandCount == 2 && !parseValue(cursor, b))) {
            std::fprintf(stderr, "extended_calc: line %d: expected %d operands of 20 hexadecimal digits\n",
                         lineNumber, operandCount);
            return 1;
        }
        faulted = false;
        m2s::Extended result{};
        int truth = -1;
        switch (operation) {
            case 0: result = m2s::add(a, b); break;
            case 1: result = m2s::subtract(a, b); break;
            case 2: result = m2s::multiply(a, b); break;
            case 3: result = m2s::divide(a, b); break;
            case 4: truth = m2s::isLess(a, b) ? 1 : 0; break;
            case 5: truth = m2s::isEqual(a, b) ? 1 : 0; break;
            default: result = m2s::roundToIntegral(a); break;
        }
        printValue(a);
        if (operandCount == 2) {
            std::printf(" ");
            printValue(b);
        }
        std::printf(" ");
        if (faulted) {
            std::printf("fault");
        } else if (truth >= 0) {
            std::printf("%d", truth);
        } else {
            printValue(result);
        }
        std::printf("\n");
    }
    return 0;
}

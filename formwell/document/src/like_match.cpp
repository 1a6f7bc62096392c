// The pattern operator used to auto-complete the list columns, and the completion itself.
#include <bitset>
#include <optional>
#include <vector>

#include "formwell/document/grid_rules.h"

namespace formwell {

namespace {

unsigned char byteOf(char c) {
    return static_cast<unsigned char>(c);
}

// Case folding of the single-byte text: only the ASCII letters have a case here.
char foldCase(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

struct Token {
    enum class Kind { Literal, AnyChar, Digit, AnyRun, Set };
    Kind kind = Kind::Literal;
    char literal = 0;      // folded
    std::bitset<256> set;  // members in both cases; negation already applied
};

void addToSet(std::bitset<256>& set, char c) {
    set.set(byteOf(c));
    set.set(byteOf(foldCase(c)));
    if (c >= 'a' && c <= 'z') {
        set.set(byteOf(static_cast<char>(c - 'a' + 'A')));
    }
}

// Parses "[...]" starting after the '['. Returns the position after ']', or nullopt when the set is
// not closed. An empty set "[]" yields no token: it matches the empty text.
std::optional<std::size_t> parseSet(std::string_view pattern, std::size_t i, std::vector<Token>& tokens) {
    const std::size_t close = pattern.find(']', i);
    if (close == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view body = pattern.substr(i, close - i);
    if (body.empty()) {
        return close + 1;
    }
    bool negate = false;
    if (body.front() == '!' && body.size() > 1) {
        negate = true;
        body.remove_prefix(1);
    }
    Token token;
    token.kind = Token::Kind::Set;
    for (std::size_t k = 0; k < body.size(); ++k) {
        // "a-z" is a range; a '-' first or last in the set stands for itself.
        if (k + 2 < body.size() && body[k + 1] == '-') {
            const unsigned char from = byteOf(body[k]);
            const unsigned char to = byteOf(body[k + 2]);
            for (unsigned c = from; c <= to; ++c) {
                addToSet(token.set, static_cast<char>(c));
            }
            k += 2;
            continue;
        }
        addToSet(token.set, body[k]);
    }
    if (negate) {
        token.set.flip();
    }
    tokens.push_back(token);
    return close + 1;
}

std::optional<std::vector<Token>> tokenize(std::string_view pattern) {
    std::vector<Token> tokens;
    for (std::size_t i = 0; i < pattern.size();) {
        const char c = pattern[i];
        Token token;
        switch (c) {
            case '?':
                token.kind = Token::Kind::AnyChar;
                break;
            case '#':
                token.kind = Token::Kind::Digit;
                break;
            case '*':
                token.kind = Token::Kind::AnyRun;
                break;
            case '[': {
                const std::optional<std::size_t> next = parseSet(pattern, i + 1, tokens);
                if (!next) {
                    return std::nullopt;
                }
                i = *next;
                continue;
            }
            default:
                token.literal = foldCase(c);
                break;
        }
        tokens.push_back(token);
        ++i;
    }
    return tokens;
}

bool matchesOne(const Token& token, char c) {
    switch (token.kind) {
        case Token::Kind::Literal:
            return foldCase(c) == token.literal;
        case Token::Kind::AnyChar:
            return true;
        case Token::Kind::Digit:
            return c >= '0' && c <= '9';
        case Token::Kind::Set:
            return token.set.test(byteOf(c));
        case Token::Kind::AnyRun:
            break;
    }
    return false;
}

}  // namespace

bool likeMatch(std::string_view text, std::string_view pattern) {
    const std::optional<std::vector<Token>> parsed = tokenize(pattern);
    if (!parsed) {
        return false;
    }
    const std::vector<Token>& tokens = *parsed;
    // Greedy matching with one backtrack point: the most recent '*' and where its run ends.
    std::size_t t = 0;
    std::size_t p = 0;
    std::optional<std::size_t> starToken;
    std::size_t starText = 0;
    while (t < text.size()) {
        if (p < tokens.size() && tokens[p].kind == Token::Kind::AnyRun) {
            starToken = p++;
            starText = t;
        } else if (p < tokens.size() && matchesOne(tokens[p], text[t])) {
            ++p;
            ++t;
        } else if (starToken) {
            p = *starToken + 1;
            t = ++starText;
        } else {
            return false;
        }
    }
    while (p < tokens.size() && tokens[p].kind == Token::Kind::AnyRun) {
        ++p;
    }
    return p == tokens.size();
}

std::span<const std::string_view> listForColumn(int column) {
    switch (static_cast<FieldColumn>(column)) {
        case FieldColumn::FieldType:
            return kFieldTypeEntries;
        case FieldColumn::Required:
        case FieldColumn::Loopback:
            return kYesNoEntries;
        default:
            return {};
    }
}

std::string autoComplete(std::string_view cellText, std::span<const std::string_view> list) {
    std::string text(cellText);
    if (text.empty()) {
        return text;
    }
    for (const std::string_view entry : list) {
        // The typed text is the pattern, so "?" or "#" typed by the user act as wildcards.
        if (likeMatch(entry, text + "*")) {
            text = std::string(entry);
        }
    }
    return text;
}

}  // namespace formwell

#include "engine/MailDate.h"

#include "engine/FastStrings.h"

#include <array>

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Reads a Date value from left to right; every Read* skips the blanks and comments before its token.
class TDateReader {
public:
    explicit TDateReader(std::string_view text) : text_(text) {}

    void SkipBlanksAndComments() {
        for (;;) {
            while (pos_ < text_.size() &&
                   (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\r' || text_[pos_] == '\n'))
                ++pos_;
            if (pos_ >= text_.size() || text_[pos_] != '(')
                return;
            SkipComment();
        }
    }

    bool AtEnd() {
        SkipBlanksAndComments();
        return pos_ >= text_.size();
    }

    char Peek() {
        SkipBlanksAndComments();
        return pos_ < text_.size() ? text_[pos_] : '\0';
    }

    bool Take(char c) {
        if (Peek() != c)
            return false;
        ++pos_;
        return true;
    }

    // Up to `maxDigits` digits (at least one); the count read goes to `digits`.
    std::optional<int> ReadNumber(int maxDigits, int* digits = nullptr) {
        SkipBlanksAndComments();
        int value = 0;
        int count = 0;
        while (pos_ < text_.size() && IsDigit(text_[pos_]) && count < maxDigits) {
            value = value * 10 + (text_[pos_++] - '0');
            ++count;
        }
        if (count == 0 || (pos_ < text_.size() && IsDigit(text_[pos_])))
            return std::nullopt;
        if (digits)
            *digits = count;
        return value;
    }

    std::string_view ReadWord() {
        SkipBlanksAndComments();
        const size_t start = pos_;
        while (pos_ < text_.size() && IsLetter(text_[pos_]))
            ++pos_;
        return text_.substr(start, pos_ - start);
    }

private:
    // Comments nest and may quote a parenthesis with a backslash; an unclosed one runs to the end.
    void SkipComment() {
        int depth = 0;
        while (pos_ < text_.size()) {
            const char c = text_[pos_++];
            if (c == '\\' && pos_ < text_.size())
                ++pos_;
            else if (c == '(')
                ++depth;
            else if (c == ')' && --depth == 0)
                return;
        }
    }

    std::string_view text_;
    size_t pos_ = 0;
};

constexpr std::array<std::string_view, 7> kDayNames = {"monday", "tuesday",  "wednesday", "thursday",
                                                       "friday", "saturday", "sunday"};
constexpr std::array<std::string_view, 12> kMonthNames = {"january",   "february", "march",    "april",
                                                          "may",       "june",     "july",     "august",
                                                          "september", "october",  "november", "december"};

// A three-letter abbreviation or the whole name, any case.
bool IsName(std::string_view word, std::string_view lowerName) {
    return EqualsAsciiNoCase(word, lowerName.substr(0, 3)) || EqualsAsciiNoCase(word, lowerName);
}

bool IsDayName(std::string_view word) {
    for (std::string_view name : kDayNames)
        if (IsName(word, name))
            return true;
    return false;
}

std::optional<int> MonthNumber(std::string_view word) {
    for (size_t i = 0; i < kMonthNames.size(); ++i)
        if (IsName(word, kMonthNames[i]))
            return static_cast<int>(i) + 1;
    return std::nullopt;
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to the given day of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// Two-digit years are 1950 to 2049, three-digit ones count from 1900, as the format's obsolete syntax says.
int FullYear(int year, int digits) {
    if (digits == 2)
        return year < 50 ? 2000 + year : 1900 + year;
    if (digits == 3)
        return 1900 + year;
    return year;
}

// The zone's offset from UTC in minutes; +0000 when the value ends before it.
std::optional<int> ReadZone(TDateReader& reader) {
    if (reader.AtEnd())
        return 0;
    const char sign = reader.Peek();
    if (sign == '+' || sign == '-') {
        reader.Take(sign);
        int digits = 0;
        std::optional<int> hhmm = reader.ReadNumber(4, &digits);
        if (!hhmm || digits != 4 || *hhmm % 100 > 59)
            return std::nullopt;
        const int minutes = *hhmm / 100 * 60 + *hhmm % 100;
        return sign == '-' ? -minutes : minutes;
    }
    struct TNamedZone {
        std::string_view Name;
        int Hours;
    };
    constexpr TNamedZone kZones[] = {{"ut", 0},   {"gmt", 0},  {"est", -5}, {"edt", -4}, {"cst", -6},
                                     {"cdt", -5}, {"mst", -7}, {"mdt", -6}, {"pst", -8}, {"pdt", -7}};
    std::string_view word = reader.ReadWord();
    for (const TNamedZone& zone : kZones)
        if (EqualsAsciiNoCase(word, zone.Name))
            return zone.Hours * 60;
    if (word.size() == 1 && Lower(word[0]) != 'j') // military zones: their signs were never agreed on
        return 0;
    return std::nullopt;
}

} // namespace

std::optional<int64_t> ParseMailDate(std::string_view value) {
    TDateReader reader(value);
    if (IsLetter(reader.Peek())) {
        if (!IsDayName(reader.ReadWord()))
            return std::nullopt;
        reader.Take(',');
    }
    const std::optional<int> day = reader.ReadNumber(2);
    const std::optional<int> month = MonthNumber(reader.ReadWord());
    int yearDigits = 0;
    std::optional<int> year = reader.ReadNumber(4, &yearDigits);
    if (!day || !month || !year || yearDigits == 1)
        return std::nullopt;
    const int fullYear = FullYear(*year, yearDigits);
    if (*day < 1 || *day > DaysInMonth(fullYear, *month))
        return std::nullopt;

    int hour = 0, minute = 0, second = 0;
    if (IsDigit(reader.Peek())) {
        const std::optional<int> h = reader.ReadNumber(2);
        if (!h || !reader.Take(':'))
            return std::nullopt;
        const std::optional<int> m = reader.ReadNumber(2);
        std::optional<int> s = 0;
        if (m && reader.Take(':'))
            s = reader.ReadNumber(2);
        if (!m || !s || *h > 23 || *m > 59 || *s > 60) // 60: a leap second
            return std::nullopt;
        hour = *h;
        minute = *m;
        second = *s;
    }
    const std::optional<int> zoneMinutes = ReadZone(reader);
    if (!zoneMinutes || !reader.AtEnd())
        return std::nullopt;
    const int64_t days = DaysFromCivil(fullYear, *month, *day);
    return days * 86400 + hour * 3600 + minute * 60 + second - static_cast<int64_t>(*zoneMinutes) * 60;
}

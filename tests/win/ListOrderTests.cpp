// The list's text order: the fast comparison agrees with the system's on every byte, and a sort of the list
// gives what a stable sort with the system's comparison gives; the filter's keyword search finds what ContainsNoCase
// finds.
#include "WinTestSupport.h"

#include "engine/FastStrings.h"
#include "ui/FoundMessages.h"
#include "ui/ListOrder.h"
#include "ui/TextCollation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace {

int Sign(int value) {
    return (value > 0) - (value < 0);
}

// Texts from every byte but zero, weighted towards what headers hold: letters of both cases, digits, blanks,
// hyphens and apostrophes (which the system weighs apart), accented letters, ligatures, control bytes.
std::string RandomText(std::mt19937& random) {
    static const std::string common = "aAbBcCeEsSzZ0129 -'.@_\xE9\xC9\xE6\xC6\xDF\xFC\x9C\x8C\x01\x1F\x7F\xA0\xAD";
    std::uniform_int_distribution<int> length(0, 12), pick(0, 3), anyByte(1, 255);
    std::uniform_int_distribution<size_t> fromCommon(0, common.size() - 1);
    std::string text;
    for (int n = length(random); n > 0; --n)
        text += pick(random) == 0 ? static_cast<char>(anyByte(random)) : common[fromCommon(random)];
    return text;
}

} // namespace

TEST(TextCollationTest, AgreesWithTheSystemsComparisonOnChosenPairs) {
    const std::pair<std::string, std::string> pairs[] = {
        {"Bob", "bob"},
        {"alpha", "Bravo"},
        {"co-op", "coop"},
        {"coop", "co-op"},
        {"it's", "its"},
        {"resume", "r\xE9sum\xE9"},
        {"\xE6", "ae"},
        {"stra\xDF"
         "e",
         "strasse"},
        {"a", "a "},
        {" a", "a"},
        {"", "-"},
        {"", ""},
        {"sender1@x", "sender10@x"},
        {"abc", "ab"},
        {"A-B", "AB-"},
        {"\x01"
         "a",
         "a"},
        {"z", "\xC4"},
        {"9", "a"},
        {"_", "a"},
        {"\xAD"
         "x",
         "x"},
    };
    const TTextCollation& collation = TTextCollation::Instance();
    for (const auto& [a, b] : pairs) {
        SCOPED_TRACE(testing::PrintToString(a) + " / " + testing::PrintToString(b));
        EXPECT_EQ(Sign(collation.Compare(a, b)), Sign(TTextCollation::SystemCompare(a, b)));
        EXPECT_EQ(Sign(collation.Compare(b, a)), Sign(TTextCollation::SystemCompare(b, a)));
    }
}

TEST(TextCollationTest, AgreesWithTheSystemsComparisonOnRandomTextsOfEveryByte) {
    std::mt19937 random(20261211);
    const TTextCollation& collation = TTextCollation::Instance();
    int disagreements = 0;
    for (int n = 0; n < 20000; ++n) {
        std::string a = RandomText(random);
        // Half the pairs share a long start, so that the later bytes decide.
        std::string b = n % 2 ? a.substr(0, a.size() / 2) + RandomText(random) : RandomText(random);
        if (Sign(collation.Compare(a, b)) != Sign(TTextCollation::SystemCompare(a, b)) && ++disagreements <= 5)
            ADD_FAILURE() << testing::PrintToString(a) << " / " << testing::PrintToString(b);
    }
    EXPECT_EQ(disagreements, 0);
}

// What the window's list did before it was virtual: the control's own stable sort with the system's
// comparison of the cell texts (Item Num by number).
TEST(ListOrderTest, SortsAsAStableSortWithTheSystemsComparisonDoesInBothDirections) {
    TScratchFolder folder;
    TFoundMessages messages(std::make_unique<TMessageSpool>(folder.Path()));
    std::mt19937 random(7);
    const std::vector<std::string> repeated = {"Invoice", "invoice", "in-voice", "INVOICE ", "Re: Invoice"};
    for (int i = 0; i < 1500; ++i) {
        TEmail email;
        email.From = i % 3 ? RandomText(random) : repeated[i % repeated.size()]; // many ties
        email.To = " to@example.org";
        email.Subject = RandomText(random);
        email.Date = " Mon, 1 Mar 2004 10:00:00 +0000";
        email.FullText = "x\r\n";
        messages.Add(email);
    }
    TListOrder order(messages);
    for (int column : {2, 4}) {
        const TFoundMessages::TField field = column == 2 ? TFoundMessages::kFrom : TFoundMessages::kSubject;
        for (bool ascending : {true, false}) {
            SCOPED_TRACE(std::to_string(column) + (ascending ? " ascending" : " descending"));
            std::vector<uint32_t> rows(messages.Size());
            std::iota(rows.begin(), rows.end(), 0u);
            std::shuffle(rows.begin(), rows.end(), random); // whatever order the rows stood in
            std::vector<uint32_t> expected = rows;
            std::stable_sort(expected.begin(), expected.end(), [&](uint32_t a, uint32_t b) {
                int order = TTextCollation::SystemCompare(messages.Field(a, field), messages.Field(b, field));
                return ascending ? order < 0 : order > 0;
            });
            order.Sort(rows, column, ascending);
            EXPECT_EQ(rows, expected);
        }
    }
}

// The filter's search must give what ContainsNoCase gives: the same upper-case mapping, any keyword length
// (long ones take another road), repetitive text where a skipping search goes wrong first.
TEST(FoundMessagesTest, TheFiltersKeywordSearchAgreesWithContainsNoCase) {
    TScratchFolder folder;
    TFoundMessages messages(std::make_unique<TMessageSpool>(folder.Path()));
    std::mt19937 random(11);
    const std::string alphabet = "aAbB \xFF\x9F\xE9\xC9\r\n"; // the last pairs differ only in case in Windows-1252
    std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1), length(0, 300);
    std::vector<std::string> bodies;
    for (int i = 0; i < 400; ++i) {
        std::string body;
        for (size_t n = length(random); n > 0; --n)
            body += alphabet[pick(random) % (i % 3 == 0 ? 3 : alphabet.size())]; // some bodies only "aAb"
        TEmail email;
        email.Body = "\r\n" + body;
        email.FullText = "Subject: x\r\n" + email.Body;
        messages.Add(email);
        bodies.push_back(email.Body);
    }
    std::vector<std::string> keywords = {"a",
                                         "AB",
                                         "aab",
                                         "Ab b",
                                         "\xFF",
                                         "\xE9"
                                         "a",
                                         "\r\n",
                                         std::string(70, 'a'),
                                         std::string(63, 'A') + "b",
                                         "zzz"};
    for (int n = 0; n < 40; ++n) {
        std::string keyword;
        for (size_t k = 1 + n % 9; k > 0; --k)
            keyword += alphabet[pick(random)];
        keywords.push_back(keyword);
    }
    for (const std::string& keyword : keywords) {
        SCOPED_TRACE(testing::PrintToString(keyword));
        std::vector<uint32_t> expected;
        for (uint32_t i = 0; i < bodies.size(); ++i)
            if (ContainsNoCase(bodies[i], keyword))
                expected.push_back(i);
        EXPECT_EQ(messages.MessagesWithKeyword(keyword), expected);
    }
}

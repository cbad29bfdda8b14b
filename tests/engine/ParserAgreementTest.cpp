// TEmailParser against the literal step-by-step rules (tests/engine/ReferenceParser.h) on many generated
// samples: structured ones made of lines that sit on every edge of the rules, and random fragments.
#include "tests/engine/CountingPump.h"
#include "tests/engine/ReferenceParser.h"

#include "engine/EmailParser.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

class TSampleMaker {
public:
    explicit TSampleMaker(uint32_t seed) : random_(seed) {}

    // Lines picked from those that decide the rules, names in random case, sometimes cut anywhere.
    std::string Structured(size_t maxLines) {
        static const std::vector<std::string> lines = {"From: alice\r\n",
                                                       "To: bob\r\n",
                                                       "Subject: hi\r\n",
                                                       "Date: Mon, 1 Jan 2024 10:00:00\r\n",
                                                       "Received: by x\r\n",
                                                       "Return-Path: <a@b>\r\n",
                                                       "Message-ID: <1@x>\r\n",
                                                       "Reply-To: r\r\n",
                                                       "Envelope-To: e\r\n",
                                                       "Delivery-Date: d\r\n",
                                                       "X-Mailer: m\r\n",
                                                       "Sent: Monday\r\n",
                                                       "From:nospace\r\n",
                                                       "From:\r\n",
                                                       "From: \r\n",
                                                       " folded continuation\r\n",
                                                       "\tfolded\r\n",
                                                       "\r\n",
                                                       "\r\n",
                                                       "\r\n",
                                                       "----- Original Message -----\r\n",
                                                       "> ----- Original Message -----\r\n",
                                                       "----- original message -----\r\n",
                                                       "body text here\r\n",
                                                       "http://x.y/z: q\r\n",
                                                       "lf only\n",
                                                       "lone\rcr\r\n",
                                                       "nul\0byte\r\n"s,
                                                       "From: a\0b\r\n"s,
                                                       "Subject: tail without end",
                                                       "\r",
                                                       "\n",
                                                       "Fromage: cheese\r\n",
                                                       "ToX: y\r\n"};
        std::string text;
        const size_t count = random_() % (maxLines + 1);
        for (size_t i = 0; i < count; ++i)
            text += RandomCase(lines[random_() % lines.size()]);
        if (!text.empty() && random_() % 4 == 0)
            text.resize(random_() % text.size());
        return text;
    }

    // Fragments joined at random (names, colons, blanks, line ends, zero bytes, the marker), so that lines
    // break at odd places and headers form and fail to form in every way.
    std::string Fragments(size_t maxFragments) {
        static const std::vector<std::string> fragments = {"From",
                                                           "to",
                                                           "SUBJECT",
                                                           "Date",
                                                           "Received",
                                                           "X-Mailer",
                                                           ":",
                                                           ": ",
                                                           " ",
                                                           "\t",
                                                           "\r\n",
                                                           "\r\n",
                                                           "\r\n",
                                                           "\r",
                                                           "\n",
                                                           "\0"s,
                                                           "x",
                                                           "\xE9",
                                                           "----- Original Message -----"};
        std::string text;
        const size_t count = random_() % (maxFragments + 1);
        for (size_t i = 0; i < count; ++i)
            text += fragments[random_() % fragments.size()];
        return text;
    }

    uint32_t Below(uint32_t bound) { return static_cast<uint32_t>(random_() % bound); }

private:
    std::string RandomCase(std::string line) {
        if (random_() % 2 == 0)
            return line;
        for (char& c : line)
            if (std::isalpha(static_cast<unsigned char>(c)) && random_() % 2 == 0)
                c = static_cast<char>(c ^ 0x20);
        return line;
    }

    std::mt19937 random_;
};

void ExpectSameSplit(const std::string& text) {
    uint64_t expectedPasses = 0;
    std::vector<uint64_t> expectedStarts;
    const TEmailArray expected = reference::SplitMessages(text, &expectedPasses, &expectedStarts);
    TCountingPump pump;
    std::vector<uint64_t> starts;
    const TEmailArray actual = TEmailParser().SplitMessages(text, pump, &starts);
    ASSERT_EQ(actual.size(), expected.size()) << testing::PrintToString(text);
    for (size_t i = 0; i < actual.size(); ++i) {
        SCOPED_TRACE("record " + std::to_string(i) + " of " + testing::PrintToString(text));
        EXPECT_EQ(actual[i].From, expected[i].From);
        EXPECT_EQ(actual[i].To, expected[i].To);
        EXPECT_EQ(actual[i].Subject, expected[i].Subject);
        EXPECT_EQ(actual[i].Date, expected[i].Date);
        ASSERT_EQ(actual[i].FullText, expected[i].FullText);
        ASSERT_EQ(actual[i].Body, expected[i].Body);
    }
    EXPECT_EQ(starts, expectedStarts);
    EXPECT_EQ(pump.passes, expectedPasses);
    EXPECT_EQ(pump.Points(), expectedPasses);
}

} // namespace

TEST(ParserAgreement, IsMessageStartOnStructuredSamples) {
    TSampleMaker maker(20240101);
    const TEmailParser parser;
    for (int round = 0; round < 40000; ++round) {
        const std::string sample = maker.Structured(12);
        const uint32_t limit = maker.Below(static_cast<uint32_t>(sample.size()) + 4);
        ASSERT_EQ(parser.IsMessageStart(sample, limit), reference::IsMessageStart(sample, limit))
            << testing::PrintToString(sample) << " limit " << limit;
    }
}

TEST(ParserAgreement, IsMessageStartOnRandomFragments) {
    TSampleMaker maker(77);
    const TEmailParser parser;
    for (int round = 0; round < 40000; ++round) {
        const std::string opening = round % 2 ? "From: x\r\n" : ""; // past the first line half of the time
        const std::string sample = opening + maker.Fragments(40);
        const uint32_t limit = maker.Below(90);
        ASSERT_EQ(parser.IsMessageStart(sample, limit), reference::IsMessageStart(sample, limit))
            << testing::PrintToString(sample) << " limit " << limit;
    }
}

// A real header cut at every length and tried with every limit: the sample may end anywhere.
TEST(ParserAgreement, IsMessageStartOnEveryCutOfARealHeader) {
    const std::string header = "Return-Path: <alice@example.org>\r\nReceived: from mx.example.org by mail\r\n"
                               "\t(8.14/8.14) with ESMTP id x1\r\nFrom: Alice <alice@example.org>\r\n"
                               "To: bob@example.net\r\nSubject: Minutes\r\n\r\nSee attached.\r\n";
    const TEmailParser parser;
    for (size_t length = 0; length <= header.size(); ++length) {
        const std::string sample = header.substr(0, length);
        for (uint32_t limit = 0; limit <= 40; ++limit)
            ASSERT_EQ(parser.IsMessageStart(sample, limit), reference::IsMessageStart(sample, limit))
                << "length " << length << " limit " << limit;
    }
}

TEST(ParserAgreement, SplitMessagesOnStructuredTexts) {
    TSampleMaker maker(4242);
    for (int round = 0; round < 20000; ++round) {
        ExpectSameSplit(maker.Structured(40));
        if (HasFatalFailure())
            return;
    }
}

TEST(ParserAgreement, SplitMessagesOnRandomFragments) {
    TSampleMaker maker(99);
    for (int round = 0; round < 20000; ++round) {
        ExpectSameSplit(maker.Fragments(80));
        if (HasFatalFailure())
            return;
    }
}

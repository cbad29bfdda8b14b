#include "tests/engine/CountingPump.h"
#include "engine/EmailParser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

const std::string kMarker = "----- Original Message -----";

TEmailArray Split(const std::string& text, std::vector<uint64_t>* starts = nullptr) {
    TCountingPump pump;
    return TEmailParser().SplitMessages(text, pump, starts);
}

} // namespace

TEST(ParseHeaderLine, HeaderForm) {
    struct {
        std::string line;
        bool valid;
        std::string name, value;
    } cases[] = {
        {"Subject: Hello there\r\n", true, "Subject", " Hello there"}, // value keeps the space after the colon
        {"Subject:  Hello\r\n", true, "Subject", "  Hello"},           // and a second one
        {"Subject: Hello \t\r\n", true, "Subject", " Hello \t"},       // and blanks before the line end
        {"Subject: \r\n", true, "Subject", " "},                       // name, colon, space, CR LF
        {"S: x\r\n", true, "S", " x"},                                 // one-byte name
        {"X-Mailer: Foo 1.0\r\n", true, "X-Mailer", " Foo 1.0"},       // unrecognised names have form too
        {"Date: Mon, 1 Jan 2024 10:20:30 +0000\r\n", true, "Date", " Mon, 1 Jan 2024 10:20:30 +0000"}, // later colons
        {"Re: Subject: x\r\n", true, "Re", " Subject: x"}, // splits at the first colon
        {"Subject: a\0b\r\n"s, true, "Subject", " a\0b"s}, // zero byte in the value
        {"Subject:Hello\r\n", false, "", ""},              // no space after the colon
        {"Subject:\tHello\r\n", false, "", ""},            // tab after the colon
        {"Subject:\r\n", false, "", ""},                   // colon right before CR LF
        {": value\r\n", false, "", ""},                    // colon first
        {"My Subject: x\r\n", false, "", ""},              // space in the name
        {"My\tSubject: x\r\n", false, "", ""},             // tab in the name
        {"\tSubject: x\r\n", false, "", ""},               // continuation line
        {" Subject: x\r\n", false, "", ""},                // continuation line
        {"Subj\x80"
         "ect: x\r\n",
         false, "", ""},                                // high byte in the name
        {"Sub\0ject: x\r\n"s, false, "", ""},           // zero byte in the name
        {"http://example.com/a: b\r\n", false, "", ""}, // a web address
        {"no colon at all\r\n", false, "", ""},
        {"\r\n", false, "", ""}, // blank line
        {"", false, "", ""},
    };
    const TEmailParser parser;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.line));
        const TRPCField field = parser.ParseHeaderLine(c.line);
        EXPECT_EQ(field.Valid, c.valid);
        EXPECT_EQ(field.Name, c.name);
        EXPECT_EQ(field.Value, c.value);
    }
}

// A line handed as a view is read only within the view: the space that follows it in memory is not its own.
TEST(ParseHeaderLine, ReadsNothingPastTheLine) {
    const std::string memory = "From: x\r\n";
    EXPECT_FALSE(TEmailParser().ParseHeaderLine(std::string_view(memory).substr(0, 5)).Valid);
    EXPECT_FALSE(TEmailParser().IsMessageStart(std::string_view(memory).substr(0, 5), 512));
}

TEST(IsRecognisedHeader, TenNamesInAnyCaseAndNothingElse) {
    const char* recognised[] = {"Return-Path", "REPLY-TO", "envelope-to", "Delivery-Date", "Received",
                                "Message-ID",  "From",     "from",        "FROM",          "fRoM",
                                "To",          "Subject",  "date"};
    const char* others[] = {"X-From",     "FromX",    "From ",        "Fro",          "T",    "Subjects", "Message-Id2",
                            "ReturnPath", "X-Mailer", "Content-Type", "MIME-Version", "Sent", "Cc",       ""};
    const TEmailParser parser;
    for (const char* name : recognised)
        EXPECT_TRUE(parser.IsRecognisedHeader({true, name, " v"})) << name;
    for (const char* name : others)
        EXPECT_FALSE(parser.IsRecognisedHeader({true, name, " v"})) << name;
    EXPECT_TRUE(parser.IsRecognisedHeader({false, "From", ""})); // Valid is not consulted
}

TEST(IsOriginalMessageMarker, ExactTextAnywhereInTheLine) {
    struct {
        std::string line;
        bool expected;
    } cases[] = {
        {kMarker + "\r\n", true},
        {"> " + kMarker + "\r\n", true}, // behind a prefix
        {kMarker + " trailing\r\n", true},
        {"\0"s + kMarker + "\r\n", true},             // behind a zero byte
        {"----- original message -----\r\n", false},  // other case
        {"---- Original Message ----\r\n", false},    // four hyphens
        {"-----Original Message-----\r\n", false},    // no spaces
        {"----- Original  Message -----\r\n", false}, // two spaces
        {"----- Original Message ----\r\n", false},   // cut short
        {"", false},
    };
    const TEmailParser parser;
    for (const auto& c : cases)
        EXPECT_EQ(parser.IsOriginalMessageMarker(c.line), c.expected) << testing::PrintToString(c.line);
}

TEST(StoreHeaderField, SetsOnlyTheFieldTheNameNames) {
    const TEmail before{"f", "t", "s", "d", "full", "body"};
    struct {
        std::string name;
        TEmail expected;
    } cases[] = {
        {"From", {" v", "t", "s", "d", "full", "body"}},
        {"to", {"f", " v", "s", "d", "full", "body"}},
        {"SUBJECT", {"f", "t", " v", "d", "full", "body"}},
        {"date", {"f", "t", "s", " v", "full", "body"}},
        {"DATE", {"f", "t", "s", " v", "full", "body"}},
        {"Date", {"f", "t", "s", " v", "full", "body"}},
        {"Received", before},      // recognised, but carries no value into the record
        {"Delivery-Date", before}, // ends in "date" but is another name
        {"X-Mailer", before},      // unrecognised
        {"", before},
    };
    const TEmailParser parser;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TEmail after = parser.StoreHeaderField({true, c.name, " v"}, before);
        EXPECT_EQ(after.From, c.expected.From);
        EXPECT_EQ(after.To, c.expected.To);
        EXPECT_EQ(after.Subject, c.expected.Subject);
        EXPECT_EQ(after.Date, c.expected.Date);
        EXPECT_EQ(after.FullText, c.expected.FullText);
        EXPECT_EQ(after.Body, c.expected.Body);
    }
}

TEST(IsMessageStart, Samples) {
    struct {
        const char* what;
        std::string sample;
        bool expected;
    } cases[] = {
        {"three recognised lines and a blank line", "From: a\r\nTo: b\r\nSubject: c\r\n\r\nbody", true},
        {"only two", "From: a\r\nTo: b\r\n\r\nbody\r\n", false},
        {"unrecognised first line", "MIME-Version: 1.0\r\nFrom: a\r\nTo: b\r\nSubject: c\r\n\r\n", false},
        {"continuation and unrecognised lines among them",
         "Received: from x\r\n\tby y\r\nX-Mailer: m\r\nFrom: a\r\nTo: b\r\n\r\n", true},
        {"three lines of one name", "Received: 1\r\nReceived: 2\r\nreceived: 3\r\n\r\n", true},
        {"names in any case", "RETURN-PATH: <a@b>\r\nmessage-id: <1@b>\r\nDeLiVeRy-DaTe: now\r\n\r\n", true},
        {"no blank line in the sample", "From: a\r\nTo: b\r\nSubject: c\r\nbody\r\n", false},
        {"ends between CR and LF of the blank line", "From: a\r\nTo: b\r\nSubject: c\r\n\r", false},
        {"ends right after the last header", "From: a\r\nTo: b\r\nSubject: c\r\n", false},
        {"begins with a blank line", "\r\nFrom: a\r\nTo: b\r\nSubject: c\r\n\r\n", false},
        {"text before the header", "hello\r\nFrom: a\r\nTo: b\r\nSubject: c\r\n\r\n", false},
        {"first line is a continuation", " From: a\r\nTo: b\r\nSubject: c\r\n\r\n", false},
        {"no space after the first colon", "From:a\r\nTo: b\r\nSubject: c\r\nDate: d\r\n\r\n", false},
        {"lines that lack header form do not count", "From: a\r\nTo:b\r\nSubject:c\r\n\r\n", false},
        {"header lines after the first blank line do not count", "From: a\r\nTo: b\r\n\r\nSubject: c\r\n\r\n", false},
        {"LF-only lines", "From: a\nTo: b\nSubject: c\n\nbody\n", false},
        {"no line end at all", "From: a To: b Subject: c", false},
        {"a lone CR is part of the line", "From: a\rTo: b\r\nSubject: c\r\nDate: d\r\n\r\n", true},
        {"zero bytes in values", "From: a\0b\r\nTo: \0\r\nSubject: c\r\n\r\n\0\0"s, true},
        {"zero byte first", "\0From: a\r\nTo: b\r\nSubject: c\r\n\r\n"s, false},
        {"empty", "", false},
    };
    const TEmailParser parser;
    for (const auto& c : cases)
        EXPECT_EQ(parser.IsMessageStart(c.sample, 512), c.expected) << c.what;
}

// The first line's CR must stand at a 1-based position below the limit: "From: a\r\n" has its CR at 8.
TEST(IsMessageStart, FirstLineMustEndBeforeTheLimit) {
    const std::string sample = "From: a\r\nTo: b\r\nSubject: c\r\n\r\n";
    struct {
        uint32_t limit;
        bool expected;
    } cases[] = {{0, false}, {7, false}, {8, false}, {9, true}, {10, true}, {512, true}, {UINT32_MAX, true}};
    const TEmailParser parser;
    for (const auto& c : cases)
        EXPECT_EQ(parser.IsMessageStart(sample, c.limit), c.expected) << "limit " << c.limit;
}

TEST(SplitMessages, TextWithoutLinesGivesNothing) {
    const std::string texts[] = {"", "From: a\nTo: b\n\nbody\n", "From: a To: b", "From: a\rTo: b\r\r", "\n\r"};
    for (const std::string& text : texts)
        EXPECT_TRUE(Split(text).empty()) << testing::PrintToString(text);
}

TEST(SplitMessages, BackToBackMessages) {
    const std::string first = "From: alice\r\nTo: bob\r\nSubject: one\r\nDate: Mon\r\n\r\nHello\r\n\r\n";
    const std::string second = "Return-Path: <carol@x>\r\nFrom: carol\r\nSubject: two\r\n\r\nBye\r\n";
    std::vector<uint64_t> starts{99, 98, 97}; // replaced, not appended to
    const TEmailArray emails = Split(first + second, &starts);
    ASSERT_EQ(emails.size(), 2u);
    EXPECT_EQ(emails[0].From, " alice");
    EXPECT_EQ(emails[0].To, " bob");
    EXPECT_EQ(emails[0].Subject, " one");
    EXPECT_EQ(emails[0].Date, " Mon");
    EXPECT_EQ(emails[0].FullText, first);
    EXPECT_EQ(emails[0].Body, "\r\nHello\r\n\r\n");
    EXPECT_EQ(emails[1].From, " carol");
    EXPECT_EQ(emails[1].To, "");
    EXPECT_EQ(emails[1].Subject, " two");
    EXPECT_EQ(emails[1].FullText, second);
    EXPECT_EQ(emails[1].Body, "\r\nBye\r\n");
    EXPECT_EQ(starts, (std::vector<uint64_t>{0, first.size()}));
}

TEST(SplitMessages, TextOutsideAnyLineBelongsToNoRecord) {
    const std::string prefix = "some other text\r\n\r\nTo:nospace\r\n";
    const std::string message = "From: a\r\nTo: b\r\n\r\nbody\r\n";
    std::vector<uint64_t> starts;
    const TEmailArray emails = Split(prefix + message + "last line without end", &starts);
    ASSERT_EQ(emails.size(), 1u);
    EXPECT_EQ(emails[0].FullText, message);
    EXPECT_EQ(emails[0].Body, "\r\nbody\r\n");
    EXPECT_EQ(starts, std::vector<uint64_t>{prefix.size()});
}

TEST(SplitMessages, UnclosedHeaderBlockHasAnEmptyBody) {
    const std::string text = "From: a\r\nX-Mailer: m\r\n folded\r\nSubject: s\r\n";
    const TEmailArray emails = Split(text);
    ASSERT_EQ(emails.size(), 1u);
    EXPECT_EQ(emails[0].FullText, text);
    EXPECT_EQ(emails[0].Body, "");
    EXPECT_EQ(emails[0].Subject, " s");
}

TEST(SplitMessages, LastOfTwoSubjectLinesWins) {
    const TEmailArray emails = Split("Subject: first\r\nFrom: a\r\nsubject: second\r\n\r\n");
    ASSERT_EQ(emails.size(), 1u);
    EXPECT_EQ(emails[0].Subject, " second");
}

TEST(SplitMessages, BodyLineWithARecognisedNameStartsARecord) {
    const std::string first = "From: a\r\n\r\nHi\r\nX-Note: unrecognised names never cut\r\n";
    const std::string second = "to: whom it may concern\r\nbye\r\n";
    const TEmailArray emails = Split(first + second);
    ASSERT_EQ(emails.size(), 2u);
    EXPECT_EQ(emails[0].FullText, first);
    EXPECT_EQ(emails[1].FullText, second);
    EXPECT_EQ(emails[1].To, " whom it may concern");
    EXPECT_EQ(emails[1].Body, "");
}

TEST(SplitMessages, QuotedReplyStaysOneRecord) {
    const std::string header = "From: me\r\nTo: you\r\nSubject: Re: lunch\r\n";
    const std::string body =
        "\r\nYes.\r\n\r\n" + kMarker + "\r\nFrom: you\r\nSent: Monday\r\nTo: me\r\nSubject: lunch\r\n\r\nShall we?\r\n";
    const TEmailArray emails = Split(header + body);
    ASSERT_EQ(emails.size(), 1u);
    EXPECT_EQ(emails[0].From, " me");
    EXPECT_EQ(emails[0].To, " you");
    EXPECT_EQ(emails[0].Subject, " Re: lunch");
    EXPECT_EQ(emails[0].Body, body);
    EXPECT_EQ(emails[0].FullText, header + body);
}

TEST(SplitMessages, BlankLineAfterTheMarkerEndsTheQuotedSection) {
    const std::string first = "From: me\r\nTo: you\r\n\r\nYes.\r\n> " + kMarker + "\r\n\r\n";
    const std::string second = "From: you\r\nTo: me\r\n\r\nShall we?\r\n";
    const TEmailArray emails = Split(first + second);
    ASSERT_EQ(emails.size(), 2u);
    EXPECT_EQ(emails[0].FullText, first);
    EXPECT_EQ(emails[1].FullText, second);
    EXPECT_EQ(emails[1].From, " you");
}

// The blank line closes the header block but leaves the quoted section open until the body's next blank line.
TEST(SplitMessages, MarkerInsideTheHeaderBlock) {
    const std::string first = "From: a\r\n" + kMarker + "\r\nTo: q\r\nSubject: s\r\n\r\nbody\r\nFrom: z\r\n\r\n";
    const std::string second = "From: w\r\n\r\nmore\r\n";
    const TEmailArray emails = Split(first + second);
    ASSERT_EQ(emails.size(), 2u);
    EXPECT_EQ(emails[0].From, " a");
    EXPECT_EQ(emails[0].To, "");
    EXPECT_EQ(emails[0].Subject, "");
    EXPECT_EQ(emails[0].Body, "\r\nbody\r\nFrom: z\r\n\r\n");
    EXPECT_EQ(emails[0].FullText, first);
    EXPECT_EQ(emails[1].FullText, second);
}

TEST(SplitMessages, MarkerBeforeTheFirstMessage) {
    const std::string quoted = kMarker + "\r\nFrom: a\r\nTo: b\r\n\r\n";
    const std::string message = "From: c\r\nSubject: d\r\n\r\nx\r\n";
    std::vector<uint64_t> starts;
    const TEmailArray emails = Split(quoted + message, &starts);
    ASSERT_EQ(emails.size(), 1u);
    EXPECT_EQ(emails[0].From, " c");
    EXPECT_EQ(emails[0].FullText, message);
    EXPECT_EQ(starts, std::vector<uint64_t>{quoted.size()});
}

TEST(SplitMessages, ZeroBytesSurvive) {
    const std::string text = "From: a\0b\r\nSubject: \0\r\n\r\nbo\0dy\r\n"s;
    const TEmailArray emails = Split(text);
    ASSERT_EQ(emails.size(), 1u);
    EXPECT_EQ(emails[0].From, " a\0b"s);
    EXPECT_EQ(emails[0].Subject, " \0"s);
    EXPECT_EQ(emails[0].Body, "\r\nbo\0dy\r\n"s);
    EXPECT_EQ(emails[0].FullText, text);
}

// Once before every line and once more before the search that finds no further line.
TEST(SplitMessages, PumpRunsOncePerPass) {
    struct {
        std::string text;
        uint64_t passes;
    } cases[] = {
        {"", 1},
        {"no line end", 1},
        {"\r\n", 2},
        {"From: a\r\n\r\nbody\r\n", 4},
        {"From: a\r\n\r\nbody\r\ntail", 4},
        {"a\r\nb\r\nc\r\nd\r\ne\r\n", 6},
    };
    for (const auto& c : cases) {
        TCountingPump pump;
        TEmailParser().SplitMessages(c.text, pump);
        EXPECT_EQ(pump.passes, c.passes) << testing::PrintToString(c.text);
        EXPECT_EQ(pump.Points(), c.passes) << testing::PrintToString(c.text);
    }
}

TEST(SplitMessages, EveryClosedBodyBeginsWithCrLf) {
    const TEmailArray emails =
        Split("From: a\r\n\r\nx\r\nFrom: b\r\nTo: c\r\n\r\n\r\nFrom: d\r\n\r\nSubject: e\r\n\r\n");
    ASSERT_EQ(emails.size(), 4u);
    for (const TEmail& email : emails)
        EXPECT_EQ(email.Body.substr(0, 2), "\r\n");
}

// A record is handed on as soon as the next one starts (or the text ends), not after the whole text has been
// cut, so that a run of millions of tiny messages never sits in memory at once. The pump's count at each hand-over
// shows where the splitter was: on the line that started the next record.
TEST(SplitMessages, EachRecordIsHandedOnWhenTheNextOneStarts) {
    const std::string one = "From: a\r\nTo: b\r\nSubject: c\r\n\r\n";
    const std::string tiny = "To: a\r\n\r\n";
    std::string text = one;
    for (int k = 0; k < 5; ++k)
        text += tiny;
    TCountingPump pump;
    std::vector<uint64_t> pointsAtHandOver;
    std::vector<uint64_t> starts;
    TEmailParser().SplitMessages(text, pump, [&](TEmail&& email, uint64_t start) {
        pointsAtHandOver.push_back(pump.Points());
        starts.push_back(start);
        EXPECT_EQ(email.FullText, text.substr(start, starts.size() == 1 ? one.size() : tiny.size()));
    });
    // Lines 1-4 are the first record; its hand-over comes on pass 5, the line of the second; then every 2 lines.
    EXPECT_EQ(pointsAtHandOver, (std::vector<uint64_t>{5, 7, 9, 11, 13, 15}));
    EXPECT_EQ(pump.Points(), 15u);
    ASSERT_EQ(starts.size(), 6u);
    EXPECT_EQ(starts[1], one.size());
}

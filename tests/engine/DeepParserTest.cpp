// The deep scan's rules on texts: what a header block is, what an mbox envelope line is, and where a run of text
// is cut into messages.
#include "tests/engine/CountingPump.h"
#include "engine/DeepParser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct TCut {
    uint64_t start;
    std::string text;
};

std::vector<TCut> Cut(const std::string& run, uint64_t runOffset = 0, uint32_t sectorSize = 0,
                      std::vector<TEmail>* emails = nullptr) {
    TCountingPump pump;
    std::vector<TCut> cuts;
    TDeepParser().SplitMessages(run, runOffset, sectorSize, pump, [&](TEmail&& email, uint64_t start) {
        cuts.push_back({start, email.FullText});
        if (emails)
            emails->push_back(std::move(email));
    });
    return cuts;
}

std::string Lf(const std::string& text) {
    std::string lf;
    for (size_t k = 0; k < text.size(); ++k)
        if (!(text[k] == '\r' && k + 1 < text.size() && text[k + 1] == '\n'))
            lf += text[k];
    return lf;
}

const std::string kSimple = "From: Ann <ann@example.org>\r\nTo: bob@example.org\r\nSubject: Budget\r\n"
                            "Date: Tue, 1 Dec 2026 10:00:00 +0000\r\nMessage-ID: <1@example.org>\r\n\r\n"
                            "Numbers attached.\r\n";

} // namespace

TEST(DeepHeaderBlock, WhatBeginsAHeaderBlock) {
    const std::string longValue(15000, 'k');
    const std::string tooLong(17000, 'k');
    struct {
        const char* what;
        std::string text;
        bool valid, strong;
    } cases[] = {
        {"CR LF", kSimple, true, true},
        {"LF", Lf(kSimple), true, true},
        {"mixed line ends", "From: a\nTo: b\r\n\nbody", true, false},
        {"no space after the colon", "From:a\nTo:b\n\n", true, false},
        {"any name first", "X-Spam-Score: 0\nFrom: a\nSubject: s\n\n", true, false},
        {"byte-order mark",
         "\xEF\xBB\xBF"
         "From: a\nTo: b\n\n",
         true, false},
        {"8-bit values", "Subject: Caf\xC3\xA9\nFrom: \xE9l\xE8ve <e@x>\n\n", true, false},
        {"folded lines", "Received: from a\n\tby b\n  for c\nFrom: a\nTo: b\n\n", true, true},
        {"a block of 15,000 bytes", "DKIM-Signature: " + longValue + "\nFrom: a\nTo: b\n\n", true, true},
        {"stored names make it strong", "Message-ID: <x>\nFrom: a\n\n", true, true},
        {"one common name", "To: a\n\nbody\n", false, false},
        {"one name twice", "Received: a\nReceived: b\n\n", false, false},
        {"only names that HTTP uses too", "Date: Tue\nContent-Type: text/html\nMIME-Version: 1.0\n\n", false, false},
        {"HTTP status line", "HTTP/1.1 200 OK\nDate: Tue\nFrom: a\nTo: b\n\n", false, false},
        {"continuation first", " From: a\nTo: b\n\n", false, false},
        {"a text line inside", "From: a\nthis is text\nTo: b\n\n", false, false},
        {"space in the name", "My From: a\nTo: b\n\n", false, false},
        {"blank line first", "\nFrom: a\nTo: b\n\n", false, false},
        {"blank line beyond 16 KiB", "DKIM-Signature: " + tooLong + "\nFrom: a\nTo: b\n\n", false, false},
        {"run ends inside the block", "From: a\nTo: b\n", false, false},
        {"run ends on the blank line's CR", "From: a\r\nTo: b\r\n\r", false, false},
    };
    const TDeepParser parser;
    for (const auto& c : cases) {
        const TDeepParser::THeaderBlock block = parser.HeaderBlockAt(c.text);
        EXPECT_EQ(block.Valid, c.valid) << c.what;
        EXPECT_EQ(block.Strong, c.strong) << c.what;
    }
}

TEST(DeepHeaderBlock, CommonNamesHoldTheTenRecognisedOnes) {
    std::vector<std::string_view> names;
    for (const auto& entry : TDeepParser::CommonNames())
        names.push_back(entry.Name);
    for (const char* name : {"RETURN-PATH", "RECEIVED", "FROM", "TO", "SUBJECT", "DATE", "CC", "MIME-VERSION",
                             "DELIVERED-TO", "RESENT-FROM"})
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
}

TEST(DeepHeaderBlock, EnvelopeLines) {
    struct {
        std::string line;
        bool envelope;
    } cases[] = {
        {"From MAILER-DAEMON Thu Dec 10 13:45:00 2026", true},
        {"From ann@example.org  Fri Apr 06 16:46:09 2001", true},
        {"From 2b1e4c0d Mon Sep 17 00:00:00 2001", true},
        {"From: ann@example.org Thu Dec 10 13:45:00 2026", false}, // a header line
        {">From ann@example.org Thu Dec 10 13:45:00 2026", false}, // an escaped body line
        {"From the desk of the editor, at 10:30 today", true},     // text that looks like one (a cut, at worst)
        {"From here we go on to the next chapter", false},         // no time
        {"From ", false},
        {"from ann Thu Dec 10 13:45:00 2026", false},
    };
    const TDeepParser parser;
    for (const auto& c : cases)
        EXPECT_EQ(parser.IsEnvelopeLine(c.line), c.envelope) << c.line;
}

TEST(DeepSplit, WhereMessagesBeginAndEnd) {
    const std::string a = "From: a@x\nTo: b@x\nSubject: one\nMessage-ID: <1@x>\n\nfirst body\n";
    const std::string b = "Return-Path: <c@x>\nFrom: c@x\nTo: d@x\n\nsecond body\n";
    const std::string quoted = "From: r@x\nTo: s@x\nSubject: Re: plan\n\nYes.\n\nFrom: s@x\nSent: Monday\n"
                               "To: r@x\nSubject: plan\n\nShall we?\n";
    const std::string bounce = "From: MAILER-DAEMON@x\nTo: a@x\nSubject: failed\nMIME-Version: 1.0\n"
                               "Content-Type: multipart/report; boundary=\"b1\"\n\n--b1\n"
                               "Content-Type: text/plain\n\nNot delivered.\n\n--b1\n"
                               "Content-Type: message/rfc822\n\n" +
                               a + "\n--b1--\n";
    const std::string forward = "From: f@x\nTo: g@x\nSubject: Fwd\nMIME-Version: 1.0\n"
                                "Content-Type: message/rfc822\n\n" +
                                a;
    const std::string nested = "From: n@x\nTo: m@x\nMIME-Version: 1.0\n"
                               "Content-Type: multipart/mixed;\n boundary=outer\n\n--outer\n"
                               "Content-Type: message/rfc822\n\nFrom: i@x\nTo: j@x\nMIME-Version: 1.0\n"
                               "Content-Type: multipart/alternative; boundary=inner\n\n--inner\n\n" +
                               b + "--inner--\n\n" + a + "--outer--\n";
    const std::string closed = "From: a\nTo: b\nContent-Type: multipart/mixed; boundary=q\n\n--q\n\nx\n--q--\n\n";
    struct {
        const char* what;
        std::string run;
        std::vector<TCut> expected;
    } cases[] = {
        {"one message, final line without line end", "From: a\nTo: b\n\nlast", {{0, "From: a\nTo: b\n\nlast"}}},
        {"text, a blank line, then a message", "some text\nmore text\n\n" + a, {{21, a}}},
        {"a header block after a text line is no start", "some text\n" + a, {}},
        {"a quoted From, To and Subject amid text is no start",
         "As he wrote:\n\nFrom: a\nTo: b\nSubject: c\n\nok\n",
         {}},
        {"a strong block after a blank line cuts", a + "\n" + b, {{0, a + "\n"}, {a.size() + 1, b}}},
        {"a stored message's first line cuts without a blank line", a + b, {{0, a}, {a.size(), b}}},
        {"a quoted reply header stays in the reply", quoted, {{0, quoted}}},
        {"an attached message stays in its bounce", bounce, {{0, bounce}}},
        {"a message/rfc822 body stays whole", forward, {{0, forward}}},
        {"nested multiparts stay whole", nested, {{0, nested}}},
        {"a closed multipart no longer protects", closed + b, {{0, closed}, {closed.size(), b}}},
    };
    for (const auto& c : cases) {
        const std::vector<TCut> cuts = Cut(c.run);
        ASSERT_EQ(cuts.size(), c.expected.size()) << c.what;
        for (size_t k = 0; k < cuts.size(); ++k) {
            EXPECT_EQ(cuts[k].start, c.expected[k].start) << c.what << " #" << k;
            EXPECT_EQ(cuts[k].text, c.expected[k].text) << c.what << " #" << k;
        }
    }
}

// Members of an mbox: the envelope line and the blank line that the mailbox writes before it belong to no message;
// the last member loses the mailbox's separator too; escaped ">From " lines stay as stored; an unclosed multipart
// ends at the next envelope line all the same.
TEST(DeepSplit, MboxMembers) {
    const std::string one = "From: a@x\nTo: b@x\nSubject: one\n\nHello\n>From the archive\n";
    const std::string two = "From: c@x\nTo: d@x\nContent-Type: multipart/mixed; boundary=zz\n\n--zz\n\nnever closed\n";
    const std::string three = "From: e@x\r\nTo: f@x\r\n\r\nlast\r\n";
    const std::string run = "From a@x Thu Dec 10 13:45:00 2026\n" + one + "\nFrom c@x Thu Dec 10 13:46:00 2026\n" +
                            two + "\nFrom e@x Thu Dec 10 13:47:00 2026\r\n" + three + "\r\n";
    const std::vector<TCut> cuts = Cut(run);
    ASSERT_EQ(cuts.size(), 3u);
    EXPECT_EQ(cuts[0].text, one);
    EXPECT_EQ(cuts[1].text, two);
    EXPECT_EQ(cuts[2].text, three);
    EXPECT_EQ(run.substr(cuts[1].start, two.size()), two);
}

TEST(DeepSplit, FieldsAndBodyAsStored) {
    std::vector<TEmail> emails;
    Cut("\xEF\xBB\xBF"
        "From: Ann\r\nTo:bob\nSubject: Caf\xC3\xA9\n  folded\nDate: Tue\nSubject: second\n\nbody\n",
        0, 0, &emails);
    ASSERT_EQ(emails.size(), 1u);
    EXPECT_EQ(emails[0].From, " Ann");
    EXPECT_EQ(emails[0].To, "bob");
    EXPECT_EQ(emails[0].Subject, " second"); // the last line of the name, as in the standard scan
    EXPECT_EQ(emails[0].Date, " Tue");
    EXPECT_EQ(emails[0].Body, "\nbody\n");
}

// Every sector start is a place where a message may begin, also where it falls inside a line of other text; a
// block that begins a few stray bytes before a sector start gives way to the one at the sector start.
TEST(DeepSplit, SectorStartsInsideARun) {
    const std::string message = "Return-Path: <a@x>\nFrom: a@x\nTo: b@x\n\nbody\n";
    struct {
        const char* what;
        std::string before;
        uint64_t runOffset;
    } cases[] = {
        {"after a text line", std::string(511, 'x') + "\n", 0},
        {"inside a line", std::string(512, 'x'), 0},
        {"after stray name bytes", "K8", 510},
        {"in a run that began mid-sector", std::string(100, 'y'), 412},
    };
    for (const auto& c : cases) {
        const std::vector<TCut> cuts = Cut(c.before + message, c.runOffset, 512);
        ASSERT_EQ(cuts.size(), 1u) << c.what;
        EXPECT_EQ(cuts[0].start, c.before.size()) << c.what;
        EXPECT_EQ(cuts[0].text, message) << c.what;
    }
    // Without sector starts to go by, the line is text and the message is not found.
    EXPECT_TRUE(Cut(std::string(512, 'x') + message).empty());
}

// Once per line of a message, once per stride of other lines that change nothing, and once at the end.
TEST(DeepSplit, PumpRunsOncePerLineOrStrideAndOnceAtTheEnd) {
    struct {
        std::string run;
        uint64_t points;
    } cases[] = {{"", 1}, {"no line end", 2}, {"a\nb\nc\n", 2}, {"a\n\nb\n", 4}, {"From: a\nTo: b\n\nbody", 5}};
    for (const auto& c : cases) {
        TCountingPump pump;
        TDeepParser().SplitMessages(c.run, 0, 512, pump, [](TEmail&&, uint64_t) {});
        EXPECT_EQ(pump.Points(), c.points) << c.run;
    }
}

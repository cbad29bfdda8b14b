// IsMessageStart where the drive scan calls it (every sector: random data, plain text, real headers) and
// SplitMessages on a run of the largest size the scan hands over. Each has a baseline measured in the same
// run: the literal step-by-step parser of the tests, and for the splitter also a bare memchr line scan.
#include "tests/engine/ReferenceParser.h"

#include "engine/EmailParser.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr size_t kSampleBytes = 1024; // two 512-byte sectors
constexpr uint32_t kLimit = 512;
constexpr size_t kPoolSize = 4096;     // more samples than the branch predictor can learn
constexpr size_t kRunBytes = 20 << 20; // the longest run the scan reads

const char* const kWords[] = {"the",    "Subject", "of",       "From",    "meeting",  "Date", "To",
                              "report", "and",     "Received", "a",       "schedule", "with", "to",
                              "send",   "figures", "Monday",   "for",     "delivery", "team", "S",
                              "each",   "return",  "path",     "message", "is",       "ready"};

std::string Words(std::mt19937& random, size_t bytes) {
    std::string text;
    while (text.size() < bytes) {
        size_t lineLength = 8 + random() % 8; // words: lines of about 40 to 80 bytes, as mail has
        while (lineLength-- > 0 && text.size() < bytes) {
            text += kWords[random() % std::size(kWords)];
            text += ' ';
        }
        text += "\r\n";
    }
    return text;
}

std::string Message(std::mt19937& random, unsigned i) {
    const std::string n = std::to_string(i);
    std::string m = "Return-Path: <user" + n + "@example.org>\r\n" + "Received: from mx" + n +
                    ".example.org by mail.example.net; Mon, 1 Jan 2024 10:00:00 +0000\r\n" + "Message-ID: <" + n +
                    "@example.org>\r\n" + "From: User " + n + " <user" + n + "@example.org>\r\n" +
                    "To: someone@example.net\r\nSubject: Report number " + n +
                    "\r\nDate: Mon, 1 Jan 2024 10:00:00 +0000\r\nMIME-Version: 1.0\r\n" +
                    "Content-Type: text/plain; charset=us-ascii\r\n\r\n";
    m += Words(random, 1000 + random() % 2000);
    if (i % 5 == 0)
        m += "\r\n----- Original Message -----\r\nFrom: someone@example.net\r\nSent: Monday\r\n"
             "To: user@example.org\r\nSubject: Report\r\n\r\n" +
             Words(random, 500);
    return m;
}

std::vector<std::string> RandomSamples() {
    std::mt19937 random(1);
    std::vector<std::string> pool(kPoolSize, std::string(kSampleBytes, '\0'));
    for (std::string& sample : pool)
        for (char& c : sample)
            c = static_cast<char>(random());
    return pool;
}

std::vector<std::string> PlainTextSamples() {
    std::mt19937 random(2);
    const std::string text = Words(random, kPoolSize * 512 + kSampleBytes);
    std::vector<std::string> pool;
    for (size_t i = 0; i < kPoolSize; ++i)
        pool.push_back(text.substr(i * 512, kSampleBytes));
    return pool;
}

std::vector<std::string> HeaderSamples() {
    std::mt19937 random(3);
    std::vector<std::string> pool;
    for (unsigned i = 0; i < kPoolSize; ++i)
        pool.push_back(Message(random, i).substr(0, kSampleBytes));
    return pool;
}

std::string Run() {
    std::mt19937 random(4);
    std::string run;
    for (unsigned i = 0; run.size() < kRunBytes; ++i)
        run += Message(random, i);
    run.resize(kRunBytes);
    return run;
}

template <typename Test> void Samples(benchmark::State& state, const std::vector<std::string>& pool, Test test) {
    size_t i = 0;
    int64_t yes = 0;
    for (auto _ : state) {
        yes += test(pool[i]);
        i = (i + 1) % pool.size();
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kSampleBytes));
    state.counters["yes"] = benchmark::Counter(static_cast<double>(yes) / static_cast<double>(state.iterations()));
}

const TEmailParser parser;

void BM_IsMessageStart_Random(benchmark::State& state) {
    static const auto pool = RandomSamples();
    Samples(state, pool, [](const std::string& s) { return parser.IsMessageStart(s, kLimit); });
}
void BM_Reference_IsMessageStart_Random(benchmark::State& state) {
    static const auto pool = RandomSamples();
    Samples(state, pool, [](const std::string& s) { return reference::IsMessageStart(s, kLimit); });
}
void BM_IsMessageStart_PlainText(benchmark::State& state) {
    static const auto pool = PlainTextSamples();
    Samples(state, pool, [](const std::string& s) { return parser.IsMessageStart(s, kLimit); });
}
void BM_Reference_IsMessageStart_PlainText(benchmark::State& state) {
    static const auto pool = PlainTextSamples();
    Samples(state, pool, [](const std::string& s) { return reference::IsMessageStart(s, kLimit); });
}
void BM_IsMessageStart_Headers(benchmark::State& state) {
    static const auto pool = HeaderSamples();
    Samples(state, pool, [](const std::string& s) { return parser.IsMessageStart(s, kLimit); });
}
void BM_Reference_IsMessageStart_Headers(benchmark::State& state) {
    static const auto pool = HeaderSamples();
    Samples(state, pool, [](const std::string& s) { return reference::IsMessageStart(s, kLimit); });
}

void BM_SplitMessages_20MiB(benchmark::State& state) {
    static const std::string run = Run();
    TNullMessagePump pump;
    std::vector<uint64_t> starts;
    size_t records = 0;
    for (auto _ : state) {
        const TEmailArray emails = parser.SplitMessages(run, pump, &starts);
        records = emails.size();
        benchmark::DoNotOptimize(emails.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(run.size()));
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(records));
}
// As ostrevan-scan splits: each record handed on as views and read in place, nothing kept.
void BM_SplitMessagesStreaming_20MiB(benchmark::State& state) {
    static const std::string run = Run();
    TNullMessagePump pump;
    size_t records = 0;
    for (auto _ : state) {
        size_t bytes = 0;
        records = 0;
        parser.SplitMessages(run, pump, [&](const TEmailView& email, uint64_t) {
            bytes += email.FullText.size() + email.Subject.size();
            ++records;
        });
        benchmark::DoNotOptimize(bytes);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(run.size()));
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(records));
}
void BM_Reference_SplitMessages_20MiB(benchmark::State& state) {
    static const std::string run = Run();
    for (auto _ : state) {
        const TEmailArray emails = reference::SplitMessages(run);
        benchmark::DoNotOptimize(emails.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(run.size()));
}
// The floor: finding the line ends and nothing else.
void BM_LineEndScan_20MiB(benchmark::State& state) {
    static const std::string run = Run();
    for (auto _ : state) {
        size_t lines = 0;
        for (const char *p = run.data(), *end = p + run.size();
             (p = static_cast<const char*>(std::memchr(p, '\r', static_cast<size_t>(end - p)))) != nullptr; ++p)
            lines += p + 1 < end && p[1] == '\n';
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(run.size()));
}

} // namespace

BENCHMARK(BM_IsMessageStart_Random);
BENCHMARK(BM_Reference_IsMessageStart_Random);
BENCHMARK(BM_IsMessageStart_PlainText);
BENCHMARK(BM_Reference_IsMessageStart_PlainText);
BENCHMARK(BM_IsMessageStart_Headers);
BENCHMARK(BM_Reference_IsMessageStart_Headers);
BENCHMARK(BM_SplitMessages_20MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SplitMessagesStreaming_20MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Reference_SplitMessages_20MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LineEndScan_20MiB)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

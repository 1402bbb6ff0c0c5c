// A plain mutation driver for the fuzz targets: no coverage feedback, but
// no compiler support needed either, so the targets build with the same
// compiler and sanitizers as the rest. Usage:
//   fuzz_TARGET SECONDS CORPUS_DIR
// Each input is written to "fuzz-current-input" in the working directory
// before it runs, so a crash or a hang (ten seconds, SIGALRM) leaves the
// input behind. The seeds run first, then mutations of them.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

// Pieces of the formats under test, inserted whole by the mutator.
const char *const tokens[] = {
    "\\F", "\\L", "\\R", "\\PB", "\\PE", ":", "999999999", "-1", "0", "255", "^", "\r\n", "\n",
    ".DETAIL", ".VARS", ".SQL", ".HEADER2", ".FOOTER1", ".PAGEHEADER", ".REPORTHEADER", "@", "#",
    ":=", "{", "}", "'", "(", ")", ",", ";", "LPad(", "Copy(", "IF ", " THEN ", "ELSE", "WHILE ",
    ";Quarn", ";DELETE", "[Columns]", "[Search]", "=", "|", "\xff", "\x00"};

QByteArray mutate(QByteArray input, const std::vector<QByteArray> &seeds, std::mt19937 &rng)
{
    auto pick = [&rng](size_t n) { return n == 0 ? size_t(0) : size_t(rng() % n); };
    const int steps = 1 + int(rng() % 6);
    for (int s = 0; s < steps; ++s) {
        const qsizetype at = qsizetype(pick(size_t(input.size()) + 1));
        switch (rng() % 7) {
        case 0:   // flip a bit
            if (!input.isEmpty())
                input[qsizetype(pick(size_t(input.size())))] ^= char(1 << (rng() % 8));
            break;
        case 1:   // a random byte
            input.insert(at, char(rng() % 256));
            break;
        case 2:   // remove a piece
            if (!input.isEmpty())
                input.remove(at, qsizetype(1 + pick(16)));
            break;
        case 3: {   // a token of the formats
            const char *t = tokens[pick(std::size(tokens))];
            input.insert(at, QByteArray(t, t[0] ? qsizetype(std::strlen(t)) : 1));
            break;
        }
        case 4:   // repeat a piece
            if (!input.isEmpty()) {
                const qsizetype from = qsizetype(pick(size_t(input.size())));
                input.insert(at, input.mid(from, qsizetype(1 + pick(64))));
            }
            break;
        case 5: {   // a piece of another seed
            const QByteArray &other = seeds[pick(seeds.size())];
            if (!other.isEmpty()) {
                const qsizetype from = qsizetype(pick(size_t(other.size())));
                input.insert(at, other.mid(from, qsizetype(1 + pick(128))));
            }
            break;
        }
        default:   // a digit run
            input.insert(at, QByteArray(qsizetype(1 + pick(12)), char('0' + rng() % 10)));
            break;
        }
    }
    return input.left(1 << 16);
}

void runOne(const QByteArray &input)
{
    QFile current(QStringLiteral("fuzz-current-input"));
    if (current.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        current.write(input);
        current.close();
    }
    ::alarm(10);
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(input.constData()), size_t(input.size()));
    ::alarm(0);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // a program folder and settings of its own, as the tests have
    QTemporaryDir home;
    if (qEnvironmentVariableIsEmpty("QUARN_HOME"))
        qputenv("QUARN_HOME", QFile::encodeName(home.path()));
    if (qEnvironmentVariableIsEmpty("QUARN_CONFIG"))
        qputenv("QUARN_CONFIG", QFile::encodeName(home.path()));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.path()));
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s SECONDS CORPUS_DIR\n", argv[0]);
        return 2;
    }
    const double seconds = std::atof(argv[1]);
    std::vector<QByteArray> seeds;
    const QDir corpus(QString::fromLocal8Bit(argv[2]));
    for (const QString &name : corpus.entryList(QDir::Files, QDir::Name)) {
        QFile f(corpus.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            seeds.push_back(f.readAll());
    }
    if (seeds.empty())
        seeds.emplace_back();
    std::mt19937 rng(std::random_device{}());
    const auto start = std::chrono::steady_clock::now();
    auto elapsed = [&start] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    long long runs = 0;
    for (const QByteArray &seed : seeds) {
        runOne(seed);
        ++runs;
    }
    while (elapsed() < seconds) {
        runOne(mutate(seeds[size_t(rng() % seeds.size())], seeds, rng));
        ++runs;
    }
    QFile::remove(QStringLiteral("fuzz-current-input"));
    std::printf("%s: %lld executions in %.0f s (%zu seeds), no crash\n", argv[0], runs, elapsed(), seeds.size());
    return 0;
}

// dravolux-server: the measurement server of a demonstration or test
// installation. Prints "Listening on HOST:PORT" once it accepts terminals and
// runs until SIGINT or SIGTERM.

#include "server/measServer.h"
#include "server/serverDocs.h"
#include "server/serverLog.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QRegularExpression>

#include <cmath>
#include <cstdio>

#ifdef Q_OS_UNIX
#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>
#include <csignal>
#endif

namespace {

constexpr int kBadArguments = 2;

int Fail(const QString& text, int code)
{
  const QByteArray line = ("dravolux-server: " + text + QLatin1Char('\n')).toUtf8();
  std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
  return code;
}

void PrintLine(const QString& text)
{
  const QByteArray line = (text + QLatin1Char('\n')).toUtf8();
  std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
  std::fflush(stdout);
}

#ifdef Q_OS_UNIX
// Signals only write a byte; the event loop does the rest, where it is safe.
int g_signalPipe[2] = {-1, -1};

void OnSignal(int)
{
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
}

bool InstallSignalHandlers()
{
  if (::pipe(g_signalPipe) != 0)
    return false;
  for (int fd : g_signalPipe)
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  ::fcntl(g_signalPipe[1], F_SETFL, O_NONBLOCK);
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  return ::sigaction(SIGINT, &action, nullptr) == 0 && ::sigaction(SIGTERM, &action, nullptr) == 0;
}
#endif

bool ParseListen(const QString& text, QString& host, quint16& port)
{
  const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
  if (colon <= 0)
    return false;
  host = text.left(colon);
  if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
    host = host.mid(1, host.size() - 2);
  bool ok = false;
  const uint value = text.mid(colon + 1).toUInt(&ok, 10);
  if (!ok || value > 65535)
    return false;
  port = static_cast<quint16>(value);
  return true;
}

}  // namespace

int main(int argc, char* argv[])
{
  // A headless server has nothing to share a GLib main loop with; Qt's own
  // dispatcher is lighter, and its locking is plain pthreads that thread
  // checkers can follow (GLib's slice allocator hands memory between threads
  // under locks they cannot see).
  if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
    qputenv("QT_NO_GLIB", "1");
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("dravolux-server"));

  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Measurement server of a Dravolux Soft Terminal installation."));
  parser.addHelpOption();
  const QCommandLineOption listen(QStringLiteral("listen"),
                                  QStringLiteral("Address and port to accept terminals on (port 0: "
                                                 "any free port). Default 127.0.0.1:8181."),
                                  QStringLiteral("HOST:PORT"), QStringLiteral("127.0.0.1:8181"));
  const QCommandLineOption data(QStringLiteral("data"),
                                QStringLiteral("Folder of the monthly measurement databases. "
                                               "Default ./server-data."),
                                QStringLiteral("DIR"), QStringLiteral("server-data"));
  const QCommandLineOption docs(QStringLiteral("docs"),
                                QStringLiteral("Folder with types.xml and main.xml (default: the "
                                               "demonstration installation)."),
                                QStringLiteral("DIR"));
  const QCommandLineOption synthetic(
      QStringLiteral("synthetic"),
      QStringLiteral("Simulate UNITS devices of CHANNELS inputs each instead of the documents."),
      QStringLiteral("UNITSxCHANNELS"));
  const QCommandLineOption period(QStringLiteral("period"),
                                  QStringLiteral("Measuring period in seconds (fractions allowed). "
                                                 "Default 5."),
                                  QStringLiteral("SECONDS"), QStringLiteral("5"));
  const QCommandLineOption seed(QStringLiteral("seed"),
                                QStringLiteral("Seed of the simulated values. Default 1."),
                                QStringLiteral("N"), QStringLiteral("1"));
  const QCommandLineOption history(QStringLiteral("history"),
                                   QStringLiteral("Days of history to store before serving."),
                                   QStringLiteral("DAYS"), QStringLiteral("0"));
  const QCommandLineOption refuse(QStringLiteral("refuse-logon"),
                                  QStringLiteral("Refuse every log-on."));
  const QCommandLineOption writeDocs(QStringLiteral("write-docs"),
                                     QStringLiteral("Write the documents in use to DIR and exit."),
                                     QStringLiteral("DIR"));
  parser.addOptions({listen, data, docs, synthetic, period, seed, history, refuse, writeDocs});
  if (!parser.parse(QCoreApplication::arguments()))
    return Fail(parser.errorText(), kBadArguments);
  if (parser.isSet(QStringLiteral("help")))
    parser.showHelp(0);
  if (!parser.positionalArguments().isEmpty())
    return Fail(QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first()),
                kBadArguments);

  TServerOptions options;
  if (!ParseListen(parser.value(listen), options.Host, options.Port))
    return Fail(QStringLiteral("--listen wants HOST:PORT, not %1").arg(parser.value(listen)),
                kBadArguments);
  options.DataDir = parser.value(data);
  if (options.DataDir.isEmpty())
    return Fail(QStringLiteral("--data wants a folder"), kBadArguments);
  options.DocsDir = parser.value(docs);
  if (parser.isSet(synthetic)) {
    static const QRegularExpression shape(QStringLiteral("^(\\d{1,5})[xX](\\d{1,3})$"));
    const QRegularExpressionMatch m = shape.match(parser.value(synthetic));
    options.SyntheticUnits = m.hasMatch() ? m.captured(1).toInt() : 0;
    options.SyntheticChannels = m.hasMatch() ? m.captured(2).toInt() : 0;
    if (options.SyntheticUnits < 1 || options.SyntheticUnits > kMaxSyntheticUnits ||
        options.SyntheticChannels < 1 || options.SyntheticChannels > kMaxSyntheticChannels)
      return Fail(QStringLiteral("--synthetic wants UNITSxCHANNELS within 1..%1 x 1..%2, not %3")
                      .arg(kMaxSyntheticUnits)
                      .arg(kMaxSyntheticChannels)
                      .arg(parser.value(synthetic)),
                  kBadArguments);
  }
  bool ok = false;
  // Numbers on the command line are read the same in every locale.
  const double seconds = QLocale::c().toDouble(parser.value(period), &ok);
  if (!ok || !std::isfinite(seconds) || seconds < 0.01 || seconds > 86400.0)
    return Fail(QStringLiteral("--period wants seconds within 0.01..86400, not %1")
                    .arg(parser.value(period)),
                kBadArguments);
  options.PeriodMs = std::llround(seconds * 1000.0);
  options.Seed = QLocale::c().toULongLong(parser.value(seed), &ok);
  if (!ok)
    return Fail(QStringLiteral("--seed wants a whole number, not %1").arg(parser.value(seed)),
                kBadArguments);
  options.HistoryDays = QLocale::c().toInt(parser.value(history), &ok);
  if (!ok || options.HistoryDays < 0 || options.HistoryDays > 3660)
    return Fail(
        QStringLiteral("--history wants days within 0..3660, not %1").arg(parser.value(history)),
        kBadArguments);
  options.RefuseLogOn = parser.isSet(refuse);

  if (parser.isSet(writeDocs)) {
    TServerDocuments documents;
    QString error;
    if (!LoadServerDocuments(options, documents, &error))
      return Fail(error, 1);
    const QDir dir(parser.value(writeDocs));
    if (!QDir().mkpath(dir.absolutePath()))
      return Fail(QStringLiteral("cannot make %1").arg(dir.absolutePath()), 1);
    for (const auto& [name, bytes] : {std::pair{QStringLiteral("types.xml"), documents.Types},
                                      std::pair{QStringLiteral("main.xml"), documents.Main}}) {
      QFile file(dir.filePath(name));
      if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
          file.write(bytes) != bytes.size() || !file.flush())
        return Fail(QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString()),
                    1);
    }
    return 0;
  }

#ifdef Q_OS_UNIX
  if (!InstallSignalHandlers())
    return Fail(QStringLiteral("cannot install the signal handlers"), 1);
  QSocketNotifier signalNotifier(g_signalPipe[0], QSocketNotifier::Read);
  QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [] {
    char byte = 0;
    [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &byte, 1);
    ServerLog(QStringLiteral("stop requested"));
    QCoreApplication::quit();
  });
#endif

  SetServerLogEnabled(true);
  TMeasServer server(options);
  QString error;
  if (!server.Start(&error))
    return Fail(error, 1);
  const bool v6 = options.Host.contains(QLatin1Char(':'));
  PrintLine(QStringLiteral("Listening on %1:%2")
                .arg(v6 ? QLatin1Char('[') + options.Host + QLatin1Char(']') : options.Host)
                .arg(server.Port()));
  const int rc = QCoreApplication::exec();
  server.Stop();
  return rc;
}

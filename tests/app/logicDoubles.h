#pragma once

// Doubles for the objects the logic controller creates: a scripted server
// connection and workers that record when they are stopped, all writing into
// one journal shared by the controller's thread and the test.

#include "app/logicParts.h"
#include "model/DevListV4.h"
#include "model/TypeListV4.h"

#include <QMutex>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <deque>
#include <memory>

// Everything the doubles saw, in order, shared between controller and test.
struct TJournal {
  mutable QMutex Mutex;
  QStringList Events;
  void Add(const QString& e)
  {
    QMutexLocker lock(&Mutex);
    Events << e;
  }
  QStringList All() const
  {
    QMutexLocker lock(&Mutex);
    return Events;
  }
  int Count(const QString& e) const { return All().count(e); }
};

class TFakeClient : public IServerConnection {
 public:
  explicit TFakeClient(TJournal& journal) : m_journal(journal) {}
  std::deque<int> Results;  // set before the controller starts
  std::atomic<bool> IsConnected{false};
  std::atomic<int> ConnectDelayMs{0};
  int Connect(const QString& path, quint16 defaultPort) override
  {
    m_journal.Add(QStringLiteral("connect:%1:%2").arg(path).arg(defaultPort));
    QThread::msleep(ConnectDelayMs.load());
    const int rc = Results.empty() ? 0 : Results.front();
    if (!Results.empty())
      Results.pop_front();
    IsConnected.store(rc == 0);
    return rc;
  }
  void Disconnect() override
  {
    IsConnected.store(false);
    m_journal.Add(QStringLiteral("stop:client"));
  }
  bool Connected() const override { return IsConnected.load(); }

 private:
  TJournal& m_journal;
};

class TFakeWorker : public IWorker {
 public:
  TFakeWorker(TJournal& journal, QString name) : m_journal(journal), m_name(std::move(name)) {}
  void Stop() override { m_journal.Add(QStringLiteral("stop:") + m_name); }

 private:
  TJournal& m_journal;
  QString m_name;
};

class TFakeCurrChart : public ICurrChartThr {
 public:
  explicit TFakeCurrChart(TJournal& journal) : m_journal(journal) {}
  void Stop() override { m_journal.Add(QStringLiteral("stop:currchart")); }
  void Update(TInUnitV4*, const TStateValues&) override {}

 private:
  TJournal& m_journal;
};

class TFakeMeasureLog : public IMeasureLog {
 public:
  explicit TFakeMeasureLog(TJournal& journal) : m_journal(journal) {}
  void Stop() override { m_journal.Add(QStringLiteral("stop:measurelog")); }
  int CanClose() override { return 0; }
  void HandRequests() override {}
  void Run() override {}
  void IntervalChanged() override {}

 private:
  TJournal& m_journal;
};

class TFakeParts : public ILogicParts {
 public:
  explicit TFakeParts(TJournal& journal) : m_journal(journal) {}
  TFakeClient* Client = nullptr;  // owned by the controller
  std::deque<int> ConnectResults;
  int ConnectDelayMs = 0;

  std::unique_ptr<TTypeListV4> CreateTypeList() override { return std::make_unique<TTypeListV4>(); }
  std::unique_ptr<TMainDBParamsV4> CreateParams(TTypeListV4* types, const TcmdParms* cmd) override
  {
    return std::make_unique<TMainDBParamsV4>(types, cmd);
  }
  std::unique_ptr<IServerConnection> CreateClient(TMainDBParamsV4*, TCurrChartLink) override
  {
    auto client = std::make_unique<TFakeClient>(m_journal);
    client->Results = ConnectResults;
    client->ConnectDelayMs = ConnectDelayMs;
    Client = client.get();
    return client;
  }
  std::unique_ptr<IWorker> CreateReportThread(TMainDBParamsV4*) override
  {
    return std::make_unique<TFakeWorker>(m_journal, QStringLiteral("report"));
  }
  std::unique_ptr<IMeasureLog> CreateMeasureLog(TMainDBParamsV4*) override
  {
    m_journal.Add(QStringLiteral("create:measurelog"));
    return std::make_unique<TFakeMeasureLog>(m_journal);
  }
  std::unique_ptr<ICurrChartThr> CreateCurrChartThr(TMainDBParamsV4*) override
  {
    m_journal.Add(QStringLiteral("create:currchart"));
    return std::make_unique<TFakeCurrChart>(m_journal);
  }
  std::unique_ptr<IWorker> CreateMBOpThread(TMainDBParamsV4*) override { return nullptr; }

 private:
  TJournal& m_journal;
};

// The memory check over a /proc and /sys/fs/cgroup laid out in a temporary
// folder: every limit a process can run under, without touching the
// machine's own cgroups.

#include "memory_budget.h"
#include "temp_files.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>

namespace {

constexpr qint64 kGiB = qint64(1) << 30;

// While alive, the process's address-space limit is `bytes`, or none.
class AddressSpaceLimit {
public:
    explicit AddressSpaceLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_AS, &m_saved);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        m_ok = limit.rlim_cur <= limit.rlim_max && ::setrlimit(RLIMIT_AS, &limit) == 0;
    }
    ~AddressSpaceLimit() { ::setrlimit(RLIMIT_AS, &m_saved); }
    bool ok() const { return m_ok; }

private:
    rlimit m_saved{};
    bool m_ok = false;
};

// An address-space limit so high that nothing here meets it, but a limit
// all the same: the check reads how much of it the status file says is used.
constexpr qint64 kAddressSpace = qint64(1) << 60;

} // namespace

class TestMemoryBudget : public QObject {
    Q_OBJECT

private slots:
    void availableMemory_data()
    {
        // Files as path, content pairs; a content of "/" makes a folder
        // there, which cannot be read as a file. The memory available is
        // 8 GiB; there is no address-space limit unless a row says so. Room
        // is in MiB, -1 for nothing known.
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<qint64>("room");
        QTest::addColumn<bool>("addressSpaceLimit");
        const QString meminfo = QStringLiteral("proc/meminfo");
        const QString available = QStringLiteral("MemFree: 1 kB\nMemAvailable: 8388608 kB\n");
        const QString cgroup = QStringLiteral("proc/self/cgroup");
        const QString v2 = QStringLiteral("sys/fs/cgroup/");
        const QString v1 = QStringLiteral("sys/fs/cgroup/memory/");

        QTest::newRow("no cgroup: the memory available")
            << QStringList{meminfo, available} << 8192LL << false;
        QTest::newRow("nothing readable") << QStringList{} << -1LL << false;
        QTest::newRow("address-space limit less what is mapped")
            << QStringList{meminfo, available, "proc/self/status",
                           QStringLiteral("VmPeak: 1 kB\nVmSize: %1 kB\n")
                               .arg((kAddressSpace - kGiB) / 1024)}
            << 1024LL << true;
        QTest::newRow("v2 nested, the tightest level in the middle")
            << QStringList{meminfo,
                           available,
                           cgroup,
                           "0::/a/b/c\n",
                           v2 + "a/memory.max",
                           "6442450944",
                           v2 + "a/memory.current",
                           "1073741824",
                           v2 + "a/b/memory.max",
                           "3221225472\n",
                           v2 + "a/b/memory.current",
                           "2147483648\n",
                           v2 + "a/b/c/memory.max",
                           "2147483648",
                           v2 + "a/b/c/memory.current",
                           "536870912"}
            << 1024LL << false;
        QTest::newRow("v2 at the mount's root, as in a container")
            << QStringList{meminfo, available, cgroup, "0::/\n", v2 + "memory.max", "536870912"}
            << 512LL << false;
        QTest::newRow("v2 max: no limit") << QStringList{meminfo,
                                                         available,
                                                         cgroup,
                                                         "0::/a\n",
                                                         v2 + "a/memory.max",
                                                         "max\n",
                                                         v2 + "a/memory.current",
                                                         "1073741824"}
                                          << 8192LL << false;
        QTest::newRow("v2 page cache counts as room")
            << QStringList{meminfo,
                           available,
                           cgroup,
                           "0::/a\n",
                           v2 + "a/memory.max",
                           "4294967296",
                           v2 + "a/memory.current",
                           "3221225472",
                           v2 + "a/memory.stat",
                           "active_file 1\ninactive_file_x 5\ninactive_file 2147483648\n"}
            << 3072LL << false;
        QTest::newRow("v2 unreadable limit: none")
            << QStringList{meminfo, available, cgroup, "0::/a\n", v2 + "a/memory.max", "/"}
            << 8192LL << false;
        QTest::newRow("v1 beside a v2 line, host path missing in the mount")
            << QStringList{meminfo,
                           available,
                           cgroup,
                           "0::/\n5:cpu,cpuacct:/x\n4:memory:/docker/x\n",
                           v1 + "memory.limit_in_bytes",
                           "2147483648",
                           v1 + "memory.usage_in_bytes",
                           "536870912",
                           v2 + "memory.max",
                           "1"}
            << 1536LL << false;
        QTest::newRow("v1 huge value: no limit") << QStringList{meminfo,
                                                                available,
                                                                cgroup,
                                                                "4:memory:/a\n",
                                                                v1 + "a/memory.limit_in_bytes",
                                                                "9223372036854771712",
                                                                v1 + "a/memory.usage_in_bytes",
                                                                "536870912"}
                                                 << 8192LL << false;
        QTest::newRow("a cgroup limit and nothing else")
            << QStringList{cgroup, "0::/\n", v2 + "memory.max", "1073741824"} << 1024LL << false;
    }

    void availableMemory()
    {
        QFETCH(QStringList, files);
        QFETCH(qint64, room);
        QFETCH(bool, addressSpaceLimit);
        QTemporaryDir root;
        for (qsizetype i = 0; i + 1 < files.size(); i += 2) {
            QVERIFY(QDir(root.path()).mkpath(QFileInfo(files[i]).path()));
            if (files[i + 1] == u"/")
                QVERIFY(QDir(root.path()).mkpath(files[i]));
            else
                WriteTempFile(root, files[i], files[i + 1].toUtf8());
        }
        AddressSpaceLimit limit(addressSpaceLimit ? rlim_t(kAddressSpace) : RLIM_INFINITY);
        if (!limit.ok())
            QSKIP("the address-space limit cannot be set as the row needs");
        const std::optional<std::int64_t> available = AvailableMemoryBytes(root.path());
        QCOMPARE(available ? *available >> 20 : -1, room);
    }

    void aTightCgroupRefusesTheText()
    {
        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("proc/self")));
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("sys/fs/cgroup/app")));
        WriteTempFile(root, QStringLiteral("proc/meminfo"), "MemAvailable: 8388608 kB\n");
        WriteTempFile(root, QStringLiteral("proc/self/cgroup"), "0::/app\n");
        WriteTempFile(root, QStringLiteral("sys/fs/cgroup/app/memory.max"), "1073741824\n");
        QVERIFY(CheckMemoryFor(12'345'678, 7, kGiB - 1, root.path()));
        const Status refused = CheckMemoryFor(12'345'678, 7, kGiB + 1, root.path());
        QVERIFY(!refused);
        QCOMPARE(refused.error().message,
                 QStringLiteral("Memoria insufficiente per generare all'ordine 7 da un testo di "
                                "12,3 MB. Scegliere un ordine più basso o un file più piccolo."));
    }
};

QTEST_MAIN(TestMemoryBudget)
#include "tst_memory_budget.moc"

// The memory check over a /proc and /sys/fs/cgroup laid out in a temporary
// folder: every limit a process can run under, without touching the
// machine's own cgroups.

#include "memory_budget.h"
#include "temp_files.h"

#include <QDir>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>

namespace {

// An address-space limit so high that nothing here meets it, but a limit
// all the same: the check reads how much of it the status file says is used.
constexpr qint64 kAddressSpace = qint64(1) << 60;

} // namespace

class TestMemoryBudget : public QObject {
    Q_OBJECT

private slots:
    void availableMemory_data()
    {
        // The fake tree: "path=content" entries split by '|', sizes in MiB
        // written as "<n>M"; a content of "/" makes a folder there, which
        // cannot be read as a file. Expected room in MiB, -1 for none known.
        QTest::addColumn<QString>("tree");
        QTest::addColumn<qint64>("room");
        const QString mem = QStringLiteral("proc/meminfo=MemFree: 1 kB\nMemAvailable: 8388608 kB|");
        const auto row = [&](const char *name, const char *tree, qint64 room) {
            QTest::newRow(name) << mem + QString::fromUtf8(tree) << room;
        };
        row("no cgroup: the memory available", "", 8192);
        QTest::newRow("nothing readable") << QString() << -1LL;
        row("address-space limit less what is mapped",
            "proc/self/status=VmSize: 1125899905794048 kB", 1024);
        row("v2 nested, the tightest level in the middle",
            "C=0::/a/b/c|V2a/memory.max=6144M|V2a/memory.current=1024M|V2a/b/memory.max=3072M\n|"
            "V2a/b/memory.current=2048M|V2a/b/c/memory.max=2048M|V2a/b/c/memory.current=512M",
            1024);
        row("v2 at the mount's root, as in a container", "C=0::/\n|V2memory.max=512M", 512);
        row("v2 max: no limit", "C=0::/a|V2a/memory.max=max\n|V2a/memory.current=1024M", 8192);
        row("v2 page cache counts as room",
            "C=0::/a|V2a/memory.max=4096M|V2a/memory.current=3072M|V2a/memory.stat=active_file "
            "1\ninactive_file_x 5\ninactive_file 2147483648\n",
            3072);
        row("v2 unreadable limit: none", "C=0::/a|V2a/memory.max=/", 8192);
        row("v1 beside a v2 line, host path missing in the mount",
            "C=0::/\n5:cpu,cpuacct:/x\n4:memory:/docker/x\n|V1memory.limit_in_bytes=2048M|"
            "V1memory.usage_in_bytes=512M|V2memory.max=1",
            1536);
        row("v1 huge value: no limit",
            "C=4:memory:/a|V1a/memory.limit_in_bytes=9223372036854771712|"
            "V1a/memory.usage_in_bytes=512M",
            8192);
    }

    void availableMemory()
    {
        QFETCH(QString, tree);
        QFETCH(qint64, room);
        // A row that says what is mapped runs under an address-space limit.
        const bool addressSpaceLimit = tree.contains(u"proc/self/status");
        QTemporaryDir root;
        const QStringList prefixes{"C=", "proc/self/cgroup=",    "V2", "sys/fs/cgroup/",
                                   "V1", "sys/fs/cgroup/memory/"};
        for (QString entry : tree.split(u'|', Qt::SkipEmptyParts)) {
            for (qsizetype i = 0; i < prefixes.size(); i += 2)
                if (entry.startsWith(prefixes[i]))
                    entry.replace(0, prefixes[i].size(), prefixes[i + 1]);
            const QString path = entry.section(u'=', 0, 0);
            QString content = entry.section(u'=', 1);
            bool mebibytes = false;
            const qint64 size = content.trimmed().chopped(1).toLongLong(&mebibytes);
            if (mebibytes && content.trimmed().endsWith(u'M'))
                content = QString::number(size << 20);
            QVERIFY(QDir(root.path()).mkpath(content == u"/" ? path : QFileInfo(path).path()));
            if (content != u"/")
                WriteTempFile(root, path, content.toUtf8());
        }
        rlimit saved{};
        ::getrlimit(RLIMIT_AS, &saved);
        const auto restore = qScopeGuard([saved] { ::setrlimit(RLIMIT_AS, &saved); });
        rlimit limit = saved;
        limit.rlim_cur = addressSpaceLimit ? rlim_t(kAddressSpace) : RLIM_INFINITY;
        if (limit.rlim_cur > limit.rlim_max || ::setrlimit(RLIMIT_AS, &limit) != 0)
            QSKIP("the address-space limit cannot be set as the row needs");
        const std::optional<std::int64_t> available = AvailableMemoryBytes(root.path());
        QCOMPARE(available ? *available >> 20 : -1, room);
        // A text that needs a MiB more than that room is refused, in the user's words.
        const Status refused = CheckMemoryFor(12'345'678, 7, (room + 1) << 20, root.path());
        QCOMPARE(refused ? QString() : refused.error().message,
                 room < 0 ? QString()
                          : QStringLiteral("Memoria insufficiente per generare all'ordine 7 da un "
                                           "testo di 12,3 MB. Scegliere un ordine più basso o un "
                                           "file più piccolo."));
    }
};

QTEST_MAIN(TestMemoryBudget)
#include "tst_memory_budget.moc"

// The source list and the condition list of the main window: views over the job that follow
// it through its change notices, and the sentence that describes a condition.
#include <QHeaderView>
#include <QTemporaryDir>
#include <QtTest>

#include "support/dialog_test_base.hpp"
#include "ui/dbx_grid.hpp"
#include "ui/find_type_grid.hpp"
#include "ui/ui_text.hpp"

namespace brindle::testing {
namespace {

QString Cell(const QAbstractItemView& view, int row, int column) {
    return view.model()->index(row, column).data().toString();
}

TFindType Condition(std::uint8_t pos, const char* text, bool capital = false, bool regexp = false) {
    return TFindType{pos, text, capital, regexp};
}

}  // namespace

class ListsTest : public DialogTestBase {
    Q_OBJECT

  private slots:
    void sentenceOfEveryScopeAndFlag_data() {
        QTest::addColumn<int>("pos");
        QTest::addColumn<bool>("capital");
        QTest::addColumn<bool>("regexp");
        QTest::addColumn<QString>("sentence");
        const char* scopes[] = {"本文＋ヘッダ", "本文", "ヘッダ", ""};
        for (int pos = 0; pos < 4; ++pos) {
            const QString scope = QString::fromUtf8(scopes[pos]);
            const QString base = scope + QStringLiteral("に「a b」がある時");
            QTest::addRow("pos%d", pos) << pos << false << false << base;
            QTest::addRow("pos%d capital", pos)
                << pos << true << false << base + QStringLiteral("(英大小文字を区別しない)");
            QTest::addRow("pos%d regexp", pos)
                << pos << false << true << base + QStringLiteral("(正規表現)");
            QTest::addRow("pos%d both", pos)
                << pos << true << true
                << base + QStringLiteral("(英大小文字を区別しない)(正規表現)");
        }
    }

    void sentenceOfEveryScopeAndFlag() {
        QFETCH(int, pos);
        QFETCH(bool, capital);
        QFETCH(bool, regexp);
        QFETCH(QString, sentence);
        const TFindType condition{static_cast<std::uint8_t>(pos), "a b", capital, regexp};
        QCOMPARE(SjisToQString(TFindTypeGrid::GetFindTypeString(condition)), sentence);
    }

    void sentenceKeepsTheTextAndIsEmptyWithoutOne() {
        QCOMPARE(SjisToQString(TFindTypeGrid::GetFindTypeString(Condition(1, "abc", true))),
                 QStringLiteral("本文に「abc」がある時(英大小文字を区別しない)"));
        QCOMPARE(TFindTypeGrid::GetFindTypeString(Condition(0, "", true, true)), std::string());
        // The condition's own bytes go in unchanged, a trail byte 0x5C included.
        const std::string sentence = TFindTypeGrid::GetFindTypeString(Condition(2, "\x95\x5c"));
        QVERIFY(sentence.find("\x81\x75\x95\x5c\x81\x76") != std::string::npos);
    }

    void splitSourcePath_data() {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("folder");
        QTest::newRow("folder") << QByteArray("/home/u/mail/Inbox.dbx") << QByteArray("Inbox.dbx")
                                << QByteArray("/home/u/mail");
        QTest::newRow("root") << QByteArray("/Inbox.dbx") << QByteArray("Inbox.dbx")
                              << QByteArray("/");
        QTest::newRow("no delimiter")
            << QByteArray("Inbox.dbx") << QByteArray("Inbox.dbx") << QByteArray();
        QTest::newRow("drive root")
            << QByteArray("C:\\Inbox.dbx") << QByteArray("Inbox.dbx") << QByteArray("C:\\");
        QTest::newRow("drive folder") << QByteArray("C:\\Mail\\Inbox.dbx")
                                      << QByteArray("Inbox.dbx") << QByteArray("C:\\Mail");
        QTest::newRow("drive only")
            << QByteArray("C:Inbox.dbx") << QByteArray("Inbox.dbx") << QByteArray("C:");
        QTest::newRow("share") << QByteArray("\\\\srv\\Inbox.dbx") << QByteArray("Inbox.dbx")
                               << QByteArray("\\\\srv");
        // 表 is 0x95 0x5C in Shift_JIS: its second byte is no backslash.
        QTest::newRow("sjis trail byte")
            << QByteArray("C:\\\x95\x5c.dbx") << QByteArray("\x95\x5c.dbx") << QByteArray("C:\\");
    }

    void splitSourcePath() {
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, folder);
        const auto [got_file, got_folder] = SplitSourcePath(path.toStdString());
        QCOMPARE(QByteArray::fromStdString(got_file), file);
        QCOMPARE(QByteArray::fromStdString(got_folder), folder);
    }

    void sourceListFollowsTheJob() {
        TDbxGrid grid(Job(), nullptr);
        QCOMPARE(grid.model()->headerData(0, Qt::Horizontal).toString(),
                 QStringLiteral("ファイル名"));
        QCOMPARE(grid.model()->headerData(1, Qt::Horizontal).toString(),
                 QStringLiteral("フォルダ名"));
        QCOMPARE(grid.model()->rowCount(), 1);
        QCOMPARE(Cell(grid, 0, 0), QString());

        Job().AddInportPath("/m/Müller/Inbox.dbx");
        QCOMPARE(grid.model()->rowCount(), 1);
        QCOMPARE(Cell(grid, 0, 0), QStringLiteral("Inbox.dbx"));
        QCOMPARE(Cell(grid, 0, 1), QStringLiteral("/m/Müller"));

        Job().AddInportPath("/m/a.dbx");
        Job().AddInportPath("/m/b.dbx");
        Job().AddInportPath("/m/a.dbx");  // listed already
        QCOMPARE(grid.model()->rowCount(), 3);
        QCOMPARE(Cell(grid, 2, 0), QStringLiteral("b.dbx"));

        Job().DeleteInportPath(0);
        QCOMPARE(grid.model()->rowCount(), 2);
        QCOMPARE(Cell(grid, 0, 0), QStringLiteral("a.dbx"));

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const std::string file = dir.filePath(QStringLiteral("job.xml")).toStdString();
        QVERIFY(Job().Save(file));
        Job().Clear();
        QCOMPARE(grid.model()->rowCount(), 1);
        QCOMPARE(Cell(grid, 0, 0), QString());
        QVERIFY(Job().Load(file));
        QCOMPARE(grid.model()->rowCount(), 2);
        QCOMPARE(Cell(grid, 1, 0), QStringLiteral("b.dbx"));
    }

    void currentRowMovesUpWhenItsRowGoes() {
        TDbxGrid grid(Job(), nullptr);
        QCOMPARE(grid.Row(), 1);  // a grid always has a current row below its title
        for (const char* path : {"/m/a.dbx", "/m/b.dbx", "/m/c.dbx"}) {
            Job().AddInportPath(path);
        }
        grid.SetRow(3);
        QCOMPARE(grid.Row(), 3);
        Job().DeleteInportPath(2);
        QCOMPARE(grid.Row(), 2);
        Job().DeleteInportPath(0);
        QCOMPARE(grid.Row(), 1);
        QCOMPARE(Cell(grid, grid.Row() - 1, 0), QStringLiteral("b.dbx"));
        Job().Clear();
        QCOMPARE(grid.Row(), 1);
    }

    void conditionListFollowsTheJob() {
        TFindTypeGrid grid(Job(), nullptr);
        QCOMPARE(grid.model()->rowCount(), 1);
        QCOMPARE(Cell(grid, 0, 0), QString());

        const std::vector<TFindType> conditions{Condition(1, "abc", true), Condition(0, ""),
                                                Condition(2, "x", false, true)};
        Job().SetConditions(conditions);
        QCOMPARE(grid.model()->rowCount(), 3);
        QCOMPARE(Cell(grid, 0, 0), QStringLiteral("本文に「abc」がある時(英大小文字を区別しない)"));
        QCOMPARE(Cell(grid, 1, 0), QString());  // an empty text is an empty row
        QCOMPARE(Cell(grid, 2, 0), QStringLiteral("ヘッダに「x」がある時(正規表現)"));

        Job().AddCondition(Condition(2, "x", false, true));  // the job keeps duplicates
        QCOMPARE(grid.model()->rowCount(), 4);
        Job().SetConditions({});
        QCOMPARE(grid.model()->rowCount(), 1);
    }

    void columnsFitTheListsWidth() {
        TDbxGrid orphan(Job(), nullptr);
        orphan.resize(300, 100);
        const int before = orphan.columnWidth(1);
        orphan.MatchColWidth();
        QCOMPARE(orphan.columnWidth(1), before);

        QWidget window;
        window.resize(600, 400);
        auto* sources = new TDbxGrid(Job(), &window);
        auto* conditions = new TFindTypeGrid(Job(), &window);
        sources->setGeometry(10, 10, 305, 97);
        conditions->setGeometry(10, 120, 305, 57);
        window.show();
        sources->SetInitialColWidths();
        conditions->SetInitialColWidths();
        QCOMPARE(sources->columnWidth(0), (305 - 24) / 2);
        QCOMPARE(sources->columnWidth(1), (305 - 24) / 2);
        QCOMPARE(conditions->columnWidth(0), 305 - 24);

        sources->resize(505, 97);
        conditions->resize(505, 57);
        sources->MatchColWidth();
        conditions->MatchColWidth();
        QCOMPARE(sources->columnWidth(1), sources->ClientWidth() - sources->columnWidth(0) - 3);
        QCOMPARE(conditions->columnWidth(0), conditions->ClientWidth() - 3);
        QVERIFY(sources->columnWidth(1) > (305 - 24) / 2);
    }

    void aListGoneHearsNoMoreNotices() {
        {
            TFindTypeGrid grid(Job(), nullptr);
            TDbxGrid sources(Job(), nullptr);
        }
        // Under the address sanitizer a listener left registered would be a use after free.
        Job().AddCondition(Condition(0, "a"));
        Job().AddInportPath("/m/a.dbx");
        Job().Clear();
        QCOMPARE(Job().GetConditions().size(), std::size_t{0});
    }
};

}  // namespace brindle::testing

QTEST_MAIN(brindle::testing::ListsTest)
#include "lists_test.moc"

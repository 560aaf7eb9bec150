#include "platform/Clock.h"
#include "platform/Http.h"
#include "update/CDownLoadDlg.h"
#include "update/CDownLoadTipDlg.h"
#include "update/ui/DownLoadDialog.h"
#include "update/ui/DownLoadTipDialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

// A server that sends `body` in chunks of 1024 bytes, announcing its length or
// not, and can hold the transfer at a byte count until released.
class FakeHttp : public platform::Http {
public:
    std::string body;
    std::optional<int64_t> announced;
    bool fails = false;
    size_t holdAt = SIZE_MAX;

    void release() {
        {
            const std::lock_guard lock(m_mutex);
            m_released = true;
        }
        m_changed.notify_all();
    }
    bool holding() const { return m_holding; }

    bool fetch(const std::string&, const HeadersSink& headers, const BodySink& sink,
               const std::atomic<bool>* cancel, std::string* error) override {
        if (fails) {
            if (error) *error = "could not connect";
            return false;
        }
        if (!headers(200, announced)) return false;
        for (size_t at = 0; at < body.size();) {
            if (at >= holdAt && !waitForRelease(cancel)) return false;
            if (cancel && *cancel) return false;
            const size_t n = std::min(kHttpChunk, body.size() - at);
            if (!sink(reinterpret_cast<const uint8_t*>(body.data() + at), n)) return false;
            at += n;
        }
        return true;
    }

private:
    // Real time, not the clock's: a held transfer keeps virtual time standing still.
    bool waitForRelease(const std::atomic<bool>* cancel) {
        std::unique_lock lock(m_mutex);
        m_holding = true;
        while (!m_released) {
            if (cancel && *cancel) return false;
            m_changed.wait_for(lock, std::chrono::milliseconds(10));
        }
        m_holding = false;
        return true;
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_released = false;
    std::atomic<bool> m_holding{false};
};

// What a message box showed, and which button the pilot pressed.
struct Box {
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
};

// Answers the message boxes the window opens, in order, and notes them.
class BoxPilot : public QObject {
public:
    BoxPilot() {
        connect(&m_timer, &QTimer::timeout, this, &BoxPilot::poll);
        m_timer.start(5);
    }
    void answer(QMessageBox::StandardButton button) { m_answers.push_back(button); }
    const std::vector<Box>& seen() const { return m_seen; }

private:
    void poll() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || m_busy) return;
        m_busy = true;
        m_seen.push_back({box->text(), box->icon(), box->standardButtons()});
        const QMessageBox::StandardButton button =
            m_answers.empty() ? QMessageBox::NoButton : m_answers.front();
        if (!m_answers.empty()) m_answers.pop_front();
        if (QAbstractButton* b = box->button(button))
            b->click();
        else
            box->close();
        m_busy = false;
    }

    QTimer m_timer;
    std::deque<QMessageBox::StandardButton> m_answers;
    std::vector<Box> m_seen;
    bool m_busy = false;
};

// The face with the shell's "open" and the speed texts noted instead of only shown.
class TestDownLoadDialog : public DownLoadDialog {
public:
    using DownLoadDialog::DownLoadDialog;
    bool openFile(const std::filesystem::path& file) override {
        opened.push_back(file);
        return true;
    }
    void setSpeedText(const std::u16string& text) override {
        speeds << QString::fromStdU16String(text);
        DownLoadDialog::setSpeedText(text);
    }
    std::vector<std::filesystem::path> opened;
    QStringList speeds;
};

update::DownloadTexts texts() {
    return {u"From:",      u"Save to:",          u"Size:", u"Speed:", u"Done. Open it?",
            u"It failed.", u"Stop the download?"};
}

// The download window on virtual time (which stands still: every speed is per
// one second), posting to the application's thread, made directly and shown.
struct Download {
    Download() {
        destination = std::filesystem::path(dir.path().toStdString()) / "zentari-4.0.deb";
        update::CDownLoadDlg::Poster post = [](std::function<void()> task) {
            QMetaObject::invokeMethod(qApp, std::move(task), Qt::QueuedConnection);
        };
        logic = std::make_unique<update::CDownLoadDlg>(
            http, clock, post, "http://127.0.0.1:8000/zentari-4.0.deb", destination, texts());
    }
    ~Download() {
        face.reset();
        http.release();
        logic.reset();
    }

    bool open() {
        face = std::make_unique<TestDownLoadDialog>(*logic);
        QObject::connect(face.get(), &QDialog::finished, face.get(), [this](int r) { result = r; });
        face->show();
        return QTest::qWaitForWindowExposed(face.get());
    }

    template <class T>
    T* child(const char* name) const {
        return face->findChild<T*>(QLatin1String(name));
    }
    QString text(const char* label) const { return child<QLabel>(label)->text(); }
    QStringList files() const {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    QTemporaryDir dir;
    std::filesystem::path destination;
    platform::VirtualClock clock;
    FakeHttp http;
    std::unique_ptr<update::CDownLoadDlg> logic;
    std::unique_ptr<TestDownLoadDialog> face;
    std::optional<int> result;
    BoxPilot pilot;
};

// 5 000 000 bytes, held at 2 048 000: 4.768 MB, 40.96 %, 2000 KB in the first second.
constexpr size_t kBody = 5'000'000;
constexpr size_t kHeld = 2'048'000;

std::string bodyOf(size_t size) {
    std::string body(size, '\0');
    for (size_t k = 0; k < size; ++k)
        body[k] = static_cast<char>('a' + k % 26);
    return body;
}

}  // namespace

class UpdateDialogTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void downloadWindowShowsItsTexts();
    void figuresFollowTheTransfer();
    void successQuestionDecidesTheEnd_data();
    void successQuestionDecidesTheEnd();
    void withoutALengthNoFiguresShow();
    void failureIsToldAndEndsTheWindow();
    void closingAsksWhileTheTransferRuns();

    void promptKeepsTheBoxState_data();
    void promptKeepsTheBoxState();
    void promptShowsItsTexts();
};

void UpdateDialogTest::downloadWindowShowsItsTexts() {
    Download d;
    d.http.body = bodyOf(4096);
    d.http.holdAt = 0;
    QVERIFY(d.open());
    QCOMPARE(d.face->windowTitle(), QString());
    QCOMPARE(d.text("destinationLabel"), QStringLiteral("Save to:"));
    auto* destination = d.child<QLineEdit>("destination");
    QCOMPARE(destination->text(), QString::fromStdString(d.destination.string()));
    QVERIFY(destination->isReadOnly());
    QVERIFY(destination->isVisible());
    QCOMPARE(d.text("sizeLabel"), QStringLiteral("Size:"));
    QCOMPARE(d.text("speedLabel"), QStringLiteral("Speed:"));
    // The source is there, with its label, but hidden.
    QCOMPARE(d.child<QLineEdit>("source")->text(),
             QStringLiteral("http://127.0.0.1:8000/zentari-4.0.deb"));
    QCOMPARE(d.text("sourceLabel"), QStringLiteral("From:"));
    QVERIFY(!d.child<QLineEdit>("source")->isVisible());
    QVERIFY(!d.child<QLabel>("sourceLabel")->isVisible());
    // Nothing measured yet.
    QCOMPARE(d.text("size"), QString());
    QCOMPARE(d.text("percent"), QString());
    QCOMPARE(d.child<QProgressBar>("progress")->value(), 0);
}

void UpdateDialogTest::figuresFollowTheTransfer() {
    Download d;
    d.http.body = bodyOf(kBody);
    d.http.announced = kBody;
    d.http.holdAt = kHeld;
    d.pilot.answer(QMessageBox::No);
    QVERIFY(d.open());
    QTRY_COMPARE(d.text("size"), QStringLiteral("4.77 MB"));
    QTRY_COMPARE(d.text("percent"), QStringLiteral("40%"));
    QCOMPARE(d.child<QProgressBar>("progress")->minimum(), 1);
    QCOMPARE(d.child<QProgressBar>("progress")->maximum(), 100);
    QCOMPARE(d.child<QProgressBar>("progress")->value(), 40);
    // On standing time every tick's speed is the kilobytes since the last one:
    // together the 2000 received before the hold.
    QVERIFY(!d.face->speeds.isEmpty());
    int kilobytes = 0;
    for (const QString& speed : std::as_const(d.face->speeds)) {
        QVERIFY2(speed.endsWith(QStringLiteral(" Kb/s")), qPrintable(speed));
        bool number = false;
        kilobytes += speed.chopped(5).toInt(&number);
        QVERIFY2(number, qPrintable(speed));
    }
    QCOMPARE(kilobytes, 2000);
    QCOMPARE(d.text("speed"), d.face->speeds.back());
    QVERIFY(d.http.holding());
    QVERIFY(d.pilot.seen().empty());

    d.http.release();
    QTRY_VERIFY(d.result.has_value());
    QCOMPARE(*d.result, int(QDialog::Rejected));
    QFile stored(QString::fromStdString(d.destination.string()));
    QCOMPARE(stored.size(), qint64(kBody));
}

void UpdateDialogTest::successQuestionDecidesTheEnd_data() {
    QTest::addColumn<bool>("yes");
    QTest::newRow("yes opens the file") << true;
    QTest::newRow("no leaves it") << false;
}

void UpdateDialogTest::successQuestionDecidesTheEnd() {
    QFETCH(bool, yes);
    Download d;
    d.http.body = bodyOf(3000);
    d.http.announced = 3000;
    d.pilot.answer(yes ? QMessageBox::Yes : QMessageBox::No);
    QVERIFY(d.open());
    QTRY_VERIFY(d.result.has_value());

    QCOMPARE(d.pilot.seen().size(), size_t(1));
    const Box& question = d.pilot.seen().front();
    QCOMPARE(question.text, QStringLiteral("Done. Open it?"));
    QCOMPARE(question.icon, QMessageBox::Question);
    QCOMPARE(question.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(*d.result, int(yes ? QDialog::Accepted : QDialog::Rejected));
    QCOMPARE(d.face->opened.size(), size_t(yes ? 1 : 0));
    if (yes) QCOMPARE(d.face->opened.front(), d.destination);
    // Either way the release file stays, whole.
    QCOMPARE(d.files(), QStringList{QStringLiteral("zentari-4.0.deb")});
    QCOMPARE(QFile(QString::fromStdString(d.destination.string())).size(), qint64(3000));
}

void UpdateDialogTest::withoutALengthNoFiguresShow() {
    Download d;
    d.http.body = bodyOf(kBody);
    d.http.holdAt = kHeld;
    d.pilot.answer(QMessageBox::No);
    QVERIFY(d.open());
    // Held past the figures timer's first second.
    QTest::qWait(1500);
    QVERIFY(d.http.holding());
    QCOMPARE(d.text("size"), QString());
    QCOMPARE(d.text("percent"), QString());
    QCOMPARE(d.text("speed"), QString());
    QVERIFY(d.face->speeds.isEmpty());
    QCOMPARE(d.child<QProgressBar>("progress")->value(), 0);

    d.http.release();
    QTRY_VERIFY(d.result.has_value());
    QCOMPARE(d.pilot.seen().size(), size_t(1));
    QCOMPARE(d.pilot.seen().front().text, QStringLiteral("Done. Open it?"));
    QCOMPARE(QFile(QString::fromStdString(d.destination.string())).size(), qint64(kBody));
}

void UpdateDialogTest::failureIsToldAndEndsTheWindow() {
    Download d;
    d.http.fails = true;
    d.pilot.answer(QMessageBox::Ok);
    QVERIFY(d.open());
    QTRY_VERIFY(d.result.has_value());
    QCOMPARE(*d.result, int(QDialog::Rejected));
    QCOMPARE(d.pilot.seen().size(), size_t(1));
    const Box& told = d.pilot.seen().front();
    QCOMPARE(told.text, QStringLiteral("It failed."));
    QCOMPARE(told.icon, QMessageBox::NoIcon);
    QCOMPARE(told.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(d.face->opened.empty());
    QVERIFY(d.files().isEmpty());
}

// Escape asks and "no" keeps the window and the transfer; the close box asks
// again and "yes" stops it, leaving nothing behind.
void UpdateDialogTest::closingAsksWhileTheTransferRuns() {
    Download d;
    d.http.body = bodyOf(kBody);
    d.http.announced = kBody;
    d.http.holdAt = kHeld;
    d.pilot.answer(QMessageBox::No);
    d.pilot.answer(QMessageBox::Yes);
    QVERIFY(d.open());
    QTRY_VERIFY(d.http.holding());

    QTest::keyClick(d.face.get(), Qt::Key_Escape);
    QCOMPARE(d.pilot.seen().size(), size_t(1));
    QCOMPARE(d.pilot.seen()[0].text, QStringLiteral("Stop the download?"));
    QCOMPARE(d.pilot.seen()[0].icon, QMessageBox::Question);
    QCOMPARE(d.pilot.seen()[0].buttons, QMessageBox::Yes | QMessageBox::No);
    QVERIFY(d.face->isVisible());
    QVERIFY(!d.result.has_value());
    QVERIFY(d.logic->workerRunning());

    QVERIFY(d.face->close());
    QCOMPARE(d.pilot.seen().size(), size_t(2));
    QCOMPARE(d.pilot.seen()[1].text, QStringLiteral("Stop the download?"));
    QVERIFY(d.result.has_value());
    QCOMPARE(*d.result, int(QDialog::Rejected));
    QVERIFY(!d.face->isVisible());
    QTRY_VERIFY(!d.logic->workerRunning());
    QVERIFY(d.files().isEmpty());
    // A cancelled transfer tells nothing more.
    QTest::qWait(50);
    QCOMPARE(d.pilot.seen().size(), size_t(2));
}

void UpdateDialogTest::promptKeepsTheBoxState_data() {
    QTest::addColumn<int>("initial");
    QTest::addColumn<bool>("click");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("expected");
    QTest::newRow("checked, OK") << 0 << true << true << 1;
    QTest::newRow("checked, Cancel") << 0 << true << false << 1;
    QTest::newRow("unchecked, OK") << 0 << false << true << 0;
    QTest::newRow("unchecked, Cancel") << 0 << false << false << 0;
    // Written, not just left: a box the user cleared gives 0.
    QTest::newRow("cleared, OK") << 1 << true << true << 0;
    QTest::newRow("cleared, Cancel") << 1 << true << false << 0;
}

void UpdateDialogTest::promptKeepsTheBoxState() {
    QFETCH(int, initial);
    QFETCH(bool, click);
    QFETCH(bool, ok);
    QFETCH(int, expected);
    update::CDownLoadTipDlg tip(u"Update", u"There is a new version.", u"Fine", u"Not now",
                                u"Do not remind me", update::CDownLoadTipDlg::kQuestionIcon);
    tip.m_check = initial;
    DownLoadTipDialog dialog(tip);
    std::optional<int> result;
    connect(&dialog, &QDialog::finished, &dialog, [&result](int r) { result = r; });
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto* box = dialog.findChild<QCheckBox*>(QStringLiteral("noReminder"));
    QVERIFY(box);
    // On the box itself: the check box's row is wider than its text.
    if (click) QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    QCOMPARE(box->isChecked(), expected == 1);
    QTest::mouseClick(
        dialog.findChild<QPushButton*>(ok ? QStringLiteral("ok") : QStringLiteral("cancel")),
        Qt::LeftButton);
    QVERIFY(result.has_value());
    QCOMPARE(*result, int(ok ? QDialog::Accepted : QDialog::Rejected));
    QCOMPARE(tip.m_check, expected);
}

void UpdateDialogTest::promptShowsItsTexts() {
    update::CDownLoadTipDlg tip(u"Update", u"There is a new version.", u"Fine", u"Not now",
                                u"Do not remind me", update::CDownLoadTipDlg::kQuestionIcon);
    DownLoadTipDialog dialog(tip);
    std::optional<int> result;
    connect(&dialog, &QDialog::finished, &dialog, [&result](int r) { result = r; });
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Update"));
    auto* message = dialog.findChild<QPlainTextEdit*>(QStringLiteral("message"));
    QCOMPARE(message->toPlainText(), QStringLiteral("There is a new version."));
    QVERIFY(message->isReadOnly());
    QCOMPARE(dialog.findChild<QCheckBox*>(QStringLiteral("noReminder"))->text(),
             QStringLiteral("Do not remind me"));
    QVERIFY(!dialog.findChild<QCheckBox*>(QStringLiteral("noReminder"))->isChecked());
    QCOMPARE(dialog.findChild<QPushButton*>(QStringLiteral("ok"))->text(), QStringLiteral("Fine"));
    QCOMPARE(dialog.findChild<QPushButton*>(QStringLiteral("cancel"))->text(),
             QStringLiteral("Not now"));
    QVERIFY(!dialog.findChild<QLabel*>(QStringLiteral("icon"))->pixmap().isNull());

    // The close box counts as Cancel and keeps the box's state too.
    tip.m_check = 5;
    QVERIFY(dialog.close());
    QVERIFY(result.has_value());
    QCOMPARE(*result, int(QDialog::Rejected));
    QCOMPARE(tip.m_check, 0);
}

QTEST_MAIN(UpdateDialogTest)
#include "UpdateDialogTest.moc"

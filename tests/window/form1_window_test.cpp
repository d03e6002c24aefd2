// SPDX-License-Identifier: MIT
// The real Form1 on Qt's offscreen platform.
#include "support/doubles.h"
#include "support/hard_texts.h"

#include <binding/zavlek_library.h>
#include <console/commands.h>
#include <console/qt/application.h>
#include <console/qt/form1_window.h>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFontInfo>
#include <QGroupBox>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QScreen>
#include <QTest>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdint>

#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace kavrelo::console::qt {
namespace {

using recording_double::Result;

constexpr int kParser = 3;

struct Placement {
    const char* name;
    const char* parent;
    QRect pixels;
};

// The layout in pixels at 96 dots per inch, within each control's container.
const std::vector<Placement> kPlacements = {
    {"Command3", "Form1", {312, 104, 209, 33}}, {"Frame1", "Form1", {8, 8, 289, 217}},
    {"Text1", "Frame1", {8, 40, 249, 33}},      {"Command5", "Frame1", {32, 168, 225, 33}},
    {"Label3", "Frame1", {16, 120, 257, 33}},   {"Label2", "Frame1", {16, 88, 225, 25}},
    {"Label1", "Frame1", {16, 24, 169, 25}},    {"Command4", "Form1", {312, 72, 209, 33}},
    {"Command2", "Form1", {312, 40, 209, 33}},  {"Command1", "Form1", {312, 8, 209, 33}},
};

// What a message box showed before the test closed it.
struct SeenMessage {
    QString title;
    QString text;
    QStringList buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    Qt::WindowModality modality = Qt::NonModal;
    QRect frame;
};

// Closes the next message box as a user would, with its only button, and
// keeps what it showed.
class MessageBoxCloser {
public:
    MessageBoxCloser() {
        QTimer::singleShot(0, &alive_, [this] { poll(); });
    }
    std::vector<SeenMessage> seen;

private:
    // Looks again until a box appears, however long the program takes to
    // show it; the looking ends with the closer.
    void poll() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            QTimer::singleShot(10, &alive_, [this] { poll(); });
            return;
        }
        SeenMessage message{box->windowTitle(), box->text(),           {},
                            box->icon(),        box->windowModality(), box->frameGeometry()};
        for (QAbstractButton* button : box->buttons()) {
            message.buttons << button->text();
        }
        seen.push_back(message);
        QTest::mouseClick(box->buttons().first(), Qt::LeftButton);
    }
    QObject alive_;
};

class Form1Test : public ::testing::Test {
protected:
    explicit Form1Test(const char* double_name = testing::kComplete) : loader(double_name) {}

    void show() {
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    template <typename Widget = QWidget>
    Widget* control(const char* name) {
        auto* widget = window.findChild<Widget*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    void click(const char* name) { QTest::mouseClick(control<QPushButton>(name), Qt::LeftButton); }

    QString label3() { return control<QLabel>("Label3")->text(); }

    // A failed test leaves a picture of the window, named in its output.
    void TearDown() override {
        if (!HasFailure() || !window.isVisible()) {
            return;
        }
        const QString folder = QString::fromStdString(testing::test_folder("../screenshots"));
        QDir().mkpath(folder);
        const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
        const QString file = folder + QStringLiteral("/failed-%1.%2.png")
                                          .arg(QString::fromLatin1(test->test_suite_name()),
                                               QString::fromLatin1(test->name()));
        if (window.grab().save(file)) {
            std::cerr << "The window at the failure: " << file.toStdString() << '\n';
        }
    }

    QColor colour_at(const char* name, QPoint local) {
        QWidget* widget = control(name);
        return window.grab().toImage().pixelColor(widget->mapTo(&window, local));
    }

    testing::FolderLoader loader;
    binding::ZavlekLibrary library{loader};
    Commands commands{library};
    std::vector<ExitStatus> ended;
    Form1Window window{commands, [this](ExitStatus status) { ended.push_back(status); }};
};

class Form1WithoutLibrary : public Form1Test {
protected:
    Form1WithoutLibrary() : Form1Test(testing::kMissing) {}
};

class Form1WithRecorder : public Form1Test {
protected:
    testing::Recorder recorder;
};

void expect_near(const QColor& actual, QColor expected, int tolerance, const char* where) {
    EXPECT_NEAR(actual.red(), expected.red(), tolerance) << where;
    EXPECT_NEAR(actual.green(), expected.green(), tolerance) << where;
    EXPECT_NEAR(actual.blue(), expected.blue(), tolerance) << where;
}

TEST_F(Form1Test, IsLaidOutAsDrawnAndStaysSoWhenResizedOrMaximised) {
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Comandos para invocar funciones en DLL"));
    EXPECT_EQ(window.size(), QSize(529, 243));
    show();
    auto check_layout = [this](const char* when) {
        for (const Placement& placement : kPlacements) {
            QWidget* widget = control(placement.name);
            ASSERT_NE(widget, nullptr);
            EXPECT_EQ(widget->parentWidget()->objectName(), QString::fromLatin1(placement.parent))
                << placement.name;
            EXPECT_EQ(widget->geometry(), placement.pixels) << placement.name << " " << when;
        }
    };
    check_layout("at start");
    // Text1 covers the lower part of Label1: it lies above it.
    const QObjectList stacking = control("Frame1")->children();
    EXPECT_GT(stacking.indexOf(control("Text1")), stacking.indexOf(control("Label1")));
    EXPECT_TRUE(control("Text1")->geometry().intersects(control("Label1")->geometry()));
    window.resize(900, 700);
    QApplication::processEvents();
    check_layout("enlarged");
    window.showMaximized();
    QApplication::processEvents();
    check_layout("maximised");
}

TEST_F(Form1Test, TheFramesCaptionStandsInOnTheTopLineAndBreaksIt) {
    show();
    QWidget* frame = control("Frame1");
    const QImage image = frame->grab().toImage();
    const QFontMetrics metrics(frame->font());
    const int line = metrics.height() / 2;
    const int caption_end = 8 + metrics.horizontalAdvance(QStringLiteral("Parser SLR"));
    const QColor etched(128, 128, 128);
    EXPECT_EQ(image.pixelColor(3, line), etched) << "the top line, left of the caption";
    EXPECT_EQ(image.pixelColor(caption_end + 12, line), etched) << "the top line, right of the caption";
    for (int x = 0; x < 8; ++x) {
        for (int y = 0; y < metrics.height(); ++y) {
            const QColor seen = image.pixelColor(x, y);
            EXPECT_TRUE(seen == etched || seen == Qt::white)
                << "caption ink left of its indent at " << x << "," << y;
        }
    }
    for (int x = 8; x < caption_end; ++x) {
        EXPECT_NE(image.pixelColor(x, line), etched) << "the line runs through the caption at " << x;
    }
}

TEST(Application, SpeaksSpanishWithTheToolkitsOwnTextsBuiltIn) {
    // Text1's context menu, from the translation compiled into the program.
    EXPECT_EQ(QCoreApplication::translate("QLineEdit", "&Undo"), QStringLiteral("&Deshacer"));
    EXPECT_EQ(QCoreApplication::translate("QLineEdit", "&Paste"), QStringLiteral("&Pegar"));
    EXPECT_TRUE(QFile::exists(QStringLiteral(":/translations/qtbase_es.qm")));
}

TEST_F(Form1Test, PaintsTheWindowFrameLabelsAndButtonsInTheFormsColours) {
    show();
    const QColor navy(0, 0, 64), white(255, 255, 255), grey(224, 224, 224), face(212, 208, 200);
    expect_near(window.grab().toImage().pixelColor(420, 200), navy, 0, "window below the buttons");
    expect_near(colour_at("Frame1", {280, 100}), white, 0, "frame inside");
    expect_near(colour_at("Label2", {200, 12}), white, 0, "Label2 beyond its text");
    expect_near(colour_at("Label3", {250, 28}), grey, 0, "Label3");
    for (const char* button : {"Command1", "Command2", "Command3", "Command4"}) {
        expect_near(colour_at(button, {12, 16}), face, 12, button);
    }
    expect_near(colour_at("Command5", {12, 16}), face, 12, "Command5");
    EXPECT_EQ(control("Label1")->palette().color(QPalette::WindowText), navy);
    EXPECT_EQ(control("Label3")->palette().color(QPalette::WindowText), QColor(64, 0, 64));
}

TEST(ProgramIcon, HoldsAMonochromeAndTwoSixteenColourImages) {
    QFile file(QStringLiteral(KAVRELO_ICON_FILE));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const auto byte = [&](int at) { return static_cast<unsigned char>(bytes.at(at)); };
    ASSERT_GE(bytes.size(), 6 + 3 * 16);
    ASSERT_EQ(byte(4), 3);  // images in the directory
    struct Entry {
        int width, height, bits;
        QRgb corner;  // the pixel at (1, 1)
        bool operator==(const Entry&) const = default;
    };
    QImageReader reader(QStringLiteral(KAVRELO_ICON_FILE));
    std::vector<Entry> entries;
    for (int i = 0; i < 3; ++i) {
        const int entry = 6 + 16 * i;
        EXPECT_TRUE(reader.jumpToImage(i));
        const QImage image = reader.read();
        entries.push_back({byte(entry), byte(entry + 1), byte(entry + 6), image.pixel(1, 1) & 0xFFFFFF});
    }
    EXPECT_EQ(entries,
              (std::vector<Entry>{{32, 32, 1, 0x000000}, {32, 32, 4, 0x000080}, {16, 16, 4, 0xFFFFFF}}));
    // The window's icon has the two colour images, compiled in.
    const QList<QSize> sizes = QApplication::windowIcon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(16, 16)) && sizes.contains(QSize(32, 32)));
}

TEST_F(Form1Test, ShowsTheResultInBoldArialOrItsMetricTwin) {
    const QFont font = control("Label3")->font();
    EXPECT_DOUBLE_EQ(font.pointSizeF(), 8.25);
    EXPECT_EQ(font.weight(), QFont::Bold);
    // Arial itself where the machine has it, its metric twin otherwise.
    const QFontInfo resolved(font);
    EXPECT_TRUE(resolved.family() == QStringLiteral("Arial") ||
                resolved.family() == QStringLiteral("Liberation Sans"))
        << resolved.family().toStdString();
    EXPECT_TRUE(resolved.bold());
}

TEST_F(Form1Test, TabCyclesThroughButtonsThenTheTextBoxFromTheFirstButton) {
    show();
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    QStringList visited{QApplication::focusWidget()->objectName()};
    for (int press = 0; press < 6; ++press) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    EXPECT_EQ(visited,
              (QStringList{"Command1", "Command2", "Command3", "Command4", "Command5", "Text1", "Command1"}));
    EXPECT_EQ(control<QLineEdit>("Text1")->text(), QString());
    EXPECT_EQ(label3(), QString());
}

TEST_F(Form1WithRecorder, EnterAndEscapeInTheTextBoxDoNothing) {
    show();
    auto* text1 = control<QLineEdit>("Text1");
    text1->setFocus();
    QTest::keyClicks(text1, "1+2");
    QTest::keyClick(text1, Qt::Key_Return);
    QTest::keyClick(text1, Qt::Key_Enter);
    QTest::keyClick(text1, Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_EQ(recorder.calls(kParser), 0);
    EXPECT_EQ(label3(), QString());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(ended.empty());
    EXPECT_EQ(text1->text(), QStringLiteral("1+2"));
}

TEST_F(Form1WithRecorder, EnterPressesTheFocusedButtonAsSpaceDoes) {
    show();
    control<QLineEdit>("Text1")->setText(QStringLiteral("1"));
    auto* parser_button = control<QPushButton>("Command5");
    parser_button->setFocus();
    QTest::keyClick(parser_button, Qt::Key_Return);
    EXPECT_EQ(recorder.calls(kParser), 1);
    QTest::keyClick(parser_button, Qt::Key_Enter);
    EXPECT_EQ(recorder.calls(kParser), 2);
    QTest::keyClick(parser_button, Qt::Key_Space);
    EXPECT_EQ(recorder.calls(kParser), 3);
    EXPECT_EQ(label3(), QStringLiteral("resultado"));
}

TEST_F(Form1WithRecorder, TheTextBoxHasNoLengthLimitOfItsOwn) {
    auto* text1 = control<QLineEdit>("Text1");
    text1->setText(QString(40000, QChar(u'a')));
    EXPECT_EQ(text1->text().size(), 40000);
}

// Text1 keeps undo for ordinary edits; a paste, removal or overtyping of
// megabytes becomes the new text without per-character undo, whose memory
// the line edit would never give back.
TEST_F(Form1WithRecorder, LargeEditsOfText1KeepNoUndoAndSmallOnesDo) {
    show();
    auto* text1 = control<QLineEdit>("Text1");
    text1->setFocus();
    const auto paste = [&](const QString& text) {
        QGuiApplication::clipboard()->setText(text);
        QTest::keySequence(text1, QKeySequence::Paste);
    };
    paste(QStringLiteral("1+2"));
    EXPECT_EQ(text1->text(), QStringLiteral("1+2"));
    EXPECT_TRUE(text1->isUndoAvailable());

    const QString large = QString(300000, QChar(u'x')) + QStringLiteral("+1");
    text1->setCursorPosition(1);
    paste(large);
    EXPECT_EQ(text1->text(), QStringLiteral("1") + large + QStringLiteral("+2"));
    EXPECT_EQ(text1->cursorPosition(), 1 + large.size());
    EXPECT_FALSE(text1->isUndoAvailable());

    text1->selectAll();
    QTest::keyClick(text1, Qt::Key_A);  // typed over the whole text
    EXPECT_EQ(text1->text(), QStringLiteral("a"));
    EXPECT_FALSE(text1->isUndoAvailable());
    QTest::keyClick(text1, Qt::Key_B);
    EXPECT_EQ(text1->text(), QStringLiteral("ab"));
    EXPECT_TRUE(text1->isUndoAvailable());
}

// A cut reaches the clipboard whatever its size and its keys; a copy and a
// paste by the older keys too.
TEST_F(Form1WithRecorder, CutCopyAndPasteOfText1ReachTheClipboardLargeOrSmall) {
    show();
    auto* text1 = control<QLineEdit>("Text1");
    text1->setFocus();
    QClipboard* clipboard = QGuiApplication::clipboard();
    for (const qsizetype size : {qsizetype{1000}, qsizetype{100000}}) {
        const QString text(size, QChar(u'x'));
        for (const QKeyCombination cut : {QKeyCombination(Qt::ControlModifier, Qt::Key_X),
                                          QKeyCombination(Qt::ShiftModifier, Qt::Key_Delete)}) {
            text1->setText(text);
            clipboard->clear();
            text1->selectAll();
            QTest::keyClick(text1, cut.key(), cut.keyboardModifiers());
            EXPECT_EQ(clipboard->text().size(), size) << cut.toCombined();
            EXPECT_TRUE(text1->text().isEmpty()) << cut.toCombined();
        }
        text1->setText(text);
        clipboard->clear();
        text1->selectAll();
        QTest::keyClick(text1, Qt::Key_Insert, Qt::ControlModifier);  // copy
        EXPECT_EQ(clipboard->text().size(), size);
        EXPECT_EQ(text1->text().size(), size);
        text1->clear();
        QTest::keyClick(text1, Qt::Key_Insert, Qt::ShiftModifier);  // paste
        EXPECT_EQ(text1->text().size(), size);
    }
}

TEST_F(Form1WithRecorder, ALongAnswerWrapsInsideTheLabelAndIsCutAtItsBottom) {
    show();
    recorder.answer_with(Result::echo);
    QString answer;
    for (int word = 0; answer.size() < 20000; ++word) {
        answer += QStringLiteral("palabra%1 ").arg(word);
    }
    control<QLineEdit>("Text1")->setText(answer);
    click("Command5");
    auto* label = control<QLabel>("Label3");
    EXPECT_TRUE(label->wordWrap());
    EXPECT_EQ(label->geometry(), QRect(16, 120, 257, 33));
    EXPECT_TRUE(answer.startsWith(label->text()));
    EXPECT_GT(label->text().size(), 60);  // more than one line's worth was given to it
    EXPECT_LT(label->text().size(), 2000);

    // Laid out in full it would need far more than the label's height.
    EXPECT_GT(label->heightForWidth(label->width()), label->height());
}

TEST_F(Form1WithRecorder, Label3ShowsOfALongAnswerExactlyWhatTheWholeAnswerWouldShow) {
    show();
    auto* label = control<QLabel>("Label3");
    for (const std::u16string& text : testing::texts_hard_to_cut()) {
        window.set_label3(text);
        const QImage cut = label->grab().toImage();
        label->setText(QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())));
        const QImage whole = label->grab().toImage();
        EXPECT_TRUE(cut == whole) << "differs for a text of " << text.size() << " characters beginning "
                                  << QString::fromUtf16(text.data(), 20).toStdString();
    }
}

TEST_F(Form1WithRecorder, MessageBoxesCarryTheTitleTextAndOneAcceptButton) {
    show();
    MessageBoxCloser closer;
    click("Command4");
    ASSERT_EQ(closer.seen.size(), 1u);
    const SeenMessage& message = closer.seen[0];
    EXPECT_EQ(message.title, QStringLiteral("Kavrelo1"));
    EXPECT_EQ(message.text, QStringLiteral("resultado"));
    EXPECT_EQ(message.buttons, QStringList{QStringLiteral("Aceptar")});
    EXPECT_EQ(message.icon, QMessageBox::NoIcon);
    EXPECT_EQ(message.modality, Qt::ApplicationModal);
    EXPECT_EQ(label3(), QString());
}

TEST_F(Form1WithRecorder, AnAnswerThatFitsTheScreenIsShownWhole) {
    show();
    std::u16string answer;
    for (int token = 1; answer.size() < 1500; ++token) {
        answer += u"NUM(" + QString::number(token).toStdU16String() + u") SEP(|) ";
    }
    MessageBoxCloser closer;
    window.show_message(answer);
    ASSERT_EQ(closer.seen.size(), 1u);
    EXPECT_EQ(closer.seen[0].text.toStdU16String(), answer);
}

TEST_F(Form1WithRecorder, AHugeTokenizerAnswerIsCutToFitTheScreen) {
    show();
    recorder.answer_with(Result::sixteen_mb);
    MessageBoxCloser closer;
    click("Command4");
    ASSERT_EQ(closer.seen.size(), 1u);
    const SeenMessage& message = closer.seen[0];
    EXPECT_TRUE(message.text.endsWith(QStringLiteral(" de 16.777.216 caracteres)")))
        << message.text.right(80).toStdString();
    // With the title bar and frame a window manager adds, it stays on the screen.
    const QRect screen = window.screen()->availableGeometry();
    const QStyle* style = QApplication::style();
    const int frame = style->pixelMetric(QStyle::PM_DefaultFrameWidth);
    EXPECT_LE(message.frame.height() + style->pixelMetric(QStyle::PM_TitleBarHeight) + 2 * frame,
              screen.height());
    EXPECT_LE(message.frame.width() + 2 * frame, screen.width());
}

TEST_F(Form1WithRecorder, LongAnswersOfWordsOfAnyWidthKeepTheBoxOnTheScreen) {
    show();
    const QRect screen = window.screen()->availableGeometry();
    const QStyle* style = QApplication::style();
    const int frame = style->pixelMetric(QStyle::PM_DefaultFrameWidth);
    const int title_bar = style->pixelMetric(QStyle::PM_TitleBarHeight);
    // Words from a few pixels to wider than the box, where the box's own
    // wrapping and any estimate of it part ways.
    for (int letters : {1, 7, 30, 34, 38, 45, 60, 90}) {
        const QString word = QString(letters, QChar(u'x')) + QChar(u' ');
        QString text;
        while (text.size() < 200000) {
            text += word;
        }
        MessageBoxCloser closer;
        window.show_message(text.toStdU16String());
        ASSERT_EQ(closer.seen.size(), 1u);
        const QRect box = closer.seen[0].frame;
        EXPECT_LE(box.height() + title_bar + 2 * frame, screen.height()) << "words of " << letters;
        EXPECT_LE(box.width() + 2 * frame, screen.width()) << "words of " << letters;
        EXPECT_TRUE(closer.seen[0].text.endsWith(QStringLiteral(" caracteres)"))) << "words of " << letters;
    }
}

TEST_F(Form1WithRecorder, ALongTextOfNarrowCharactersThatFitsIsShownWhole) {
    show();
    // Half again as many characters as the average width would allow: narrow
    // ones, which still fit in the box.
    const QFontMetrics metrics(QApplication::font("QMessageBox"));
    const QRect screen = window.screen()->availableGeometry();
    const int lines = screen.height() / metrics.lineSpacing() - 8;
    const int per_line = std::min(screen.width() / 2, 500) / metrics.averageCharWidth();
    QString text;
    while (text.size() < lines * per_line * 3 / 2) {
        text += QStringLiteral("iiiiiiiiii ");
    }
    MessageBoxCloser closer;
    window.show_message(text.toStdU16String());
    ASSERT_EQ(closer.seen.size(), 1u);
    EXPECT_EQ(closer.seen[0].text, text);
}

TEST_F(Form1WithRecorder, ARefusedEmptyRunLeavesTheEarlierAnswerStanding) {
    show();
    control<QLineEdit>("Text1")->setText(QStringLiteral("1+2"));
    click("Command5");
    EXPECT_EQ(label3(), QStringLiteral("resultado"));

    control<QLineEdit>("Text1")->clear();
    MessageBoxCloser closer;
    click("Command5");
    ASSERT_EQ(closer.seen.size(), 1u);
    EXPECT_EQ(closer.seen[0].text, QStringLiteral("No se aceptan cadenas vac\u00EDas"));
    EXPECT_EQ(label3(), QStringLiteral("resultado"));
    EXPECT_EQ(recorder.calls(kParser), 1);
}

TEST_F(Form1WithoutLibrary, SalirEndsSuccessfullyWithoutTheLibrary) {
    show();
    click("Command3");
    EXPECT_EQ(ended, std::vector<ExitStatus>{ExitStatus::success});
    EXPECT_EQ(loader.loads, 0);
}

TEST_F(Form1WithoutLibrary, ClosingTheWindowEndsTheProgramSuccessfully) {
    show();
    control<QLineEdit>("Text1")->setText(QStringLiteral("texto"));
    QTimer::singleShot(0, &window, &QWidget::close);
    QTimer::singleShot(5000, [] { QApplication::exit(99); });  // a hang fails rather than blocks
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_TRUE(ended.empty());
    EXPECT_EQ(loader.loads, 0);
}

TEST_F(Form1WithoutLibrary, ALibraryButtonReportsTheMissingFileThenEndsInFailure) {
    show();
    MessageBoxCloser closer;
    click("Command1");
    ASSERT_EQ(closer.seen.size(), 1u);
    EXPECT_EQ(closer.seen[0].title, QStringLiteral("Kavrelo1"));
    EXPECT_TRUE(closer.seen[0].text.contains(QStringLiteral("No se pudo cargar la biblioteca")));
    EXPECT_TRUE(closer.seen[0].text.contains(QStringLiteral("libZavlek.so")));
    EXPECT_EQ(ended, std::vector<ExitStatus>{ExitStatus::failure});
}

}  // namespace
}  // namespace kavrelo::console::qt

int main(int argc, char* argv[]) {
    // Offscreen, whatever display the person running the tests has, with its
    // settings (a screen description) where the test's command gives them.
    if (!qEnvironmentVariable("QT_QPA_PLATFORM").startsWith(QStringLiteral("offscreen"))) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // The window as on a fresh account, whoever runs the tests: no session bus
    // (nor one started on the toolkit's behalf), no configuration, fonts,
    // theme or scaling of theirs.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    for (const char* setting :
         {"QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_FONT_DPI", "QT_ENABLE_HIGHDPI_SCALING",
          "QT_QPA_PLATFORMTHEME", "QT_STYLE_OVERRIDE", "QT_FATAL_WARNINGS", "QT_IM_MODULE"}) {
        qunsetenv(setting);
    }
    const QTemporaryDir home;
    for (const char* folder : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
        qputenv(folder, home.path().toLocal8Bit());
    }
    QApplication application(argc, argv);
    kavrelo::console::qt::configure_application(application);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

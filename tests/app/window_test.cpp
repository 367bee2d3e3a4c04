// The window as the user meets it: its controls, texts, geometry, focus order, help boxes and
// Exit.
#include <functional>

#include <QApplication>
#include <QCheckBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include "app/startup.h"
#include "app/texts.h"
#include "app/unit92.h"
#include "commands/product.h"
#include "tests/app/scripted_runner.h"

using elevara::app::TForm92;
using elevara::app::testing::MessageLoopEndsAfter;
using elevara::app::testing::ScriptedRunner;

namespace {

QString TextOf(const QWidget* control) {
  if (auto* button = qobject_cast<const QAbstractButton*>(control)) return button->text();
  if (auto* label = qobject_cast<const QLabel*>(control)) return label->text();
  if (auto* box = qobject_cast<const QGroupBox*>(control)) return box->title();
  if (auto* edit = qobject_cast<const QLineEdit*>(control)) return edit->text();
  return {};
}

constexpr int kAutoWidth = -1;

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { elevara::app::PrepareApplication(*qApp); }
  void controls_data();
  void controls();
  void window();
  void controlsStayWhenResized();
  void tabOrder();
  void everyTextIsVisible();
  void helpBoxes_data();
  void helpBoxes();
  void helpTextLines();
  void exitAndCloseBoxEndTheProgram_data();
  void exitAndCloseBoxEndTheProgram();
};

void WindowTest::controls_data() {
  QTest::addColumn<QString>("className");
  QTest::addColumn<QString>("parentName");
  QTest::addColumn<QRect>("geometry");
  QTest::addColumn<QString>("text");
  auto row = [](const char* name, const char* className, const char* parent, int left, int top,
                int width, int height, const char* text) {
    QTest::newRow(name) << className << parent << QRect(left, top, width, height)
                        << QString::fromUtf8(text);
  };
  row("Button3", "QPushButton", "Form92", 382, 8, 75, 25, "終了");
  row("GroupBox1", "QGroupBox", "Form92", 24, 39, 433, 90, "GML10m -> Floating RAW");
  row("Label1", "QLabel", "GroupBox1", 16, 24, kAutoWidth, 13,
      "2次メッシュ単位でGML10mメッシュ標高データをFloating RAWファイルに変換します");
  row("Button1", "QPushButton", "GroupBox1", 32, 48, 75, 25, "実行");
  row("Button2", "QPushButton", "GroupBox1", 160, 48, 75, 25, "ヘルプ");
  row("GroupBox3", "QGroupBox", "Form92", 24, 135, 433, 90, "GML5m -> Floating RAW");
  row("Label5", "QLabel", "GroupBox3", 16, 24, kAutoWidth, 13,
      "3次メッシュ単位でGML5mメッシュ標高データをFloating RAWファイルに変換します");
  row("Button6", "QPushButton", "GroupBox3", 32, 50, 75, 25, "実行");
  row("Button7", "QPushButton", "GroupBox3", 160, 50, 75, 25, "ヘルプ");
  row("GroupBox4", "QGroupBox", "Form92", 24, 231, 433, 90, "DEM5m 3次メッシュ -> 2次メッシュ統合");
  row("Label6", "QLabel", "GroupBox4", 16, 24, kAutoWidth, 13,
      "3次メッシュ単位の5mメッシュ標高データを2次メッシュ単位に結合（マージ）します");
  row("Button8", "QPushButton", "GroupBox4", 32, 48, 75, 25, "実行");
  row("Button9", "QPushButton", "GroupBox4", 160, 48, 75, 25, "ヘルプ");
  row("GroupBox2", "QGroupBox", "Form92", 24, 327, 433, 121, "Floating RAW -9999.0 -> 0.0");
  row("Label2", "QLabel", "GroupBox2", 16, 24, kAutoWidth, 13,
      "Floating RAWファイルの標高データ -9999.0 を 0.0 に変換します");
  row("Label3", "QLabel", "GroupBox2", 32, 51, kAutoWidth, 13, "ピクセル（横）：");
  row("Edit1", "QLineEdit", "GroupBox2", 112, 48, 57, 21, elevara::kDefaultWidthText);
  row("Label4", "QLabel", "GroupBox2", 184, 51, kAutoWidth, 13, "ライン\u3000（縦）：");
  row("Edit2", "QLineEdit", "GroupBox2", 259, 48, 57, 21, elevara::kDefaultHeightText);
  row("Button4", "QPushButton", "GroupBox2", 32, 80, 75, 25, "実行");
  row("Button5", "QPushButton", "GroupBox2", 160, 80, 75, 25, "ヘルプ");
  row("GroupBox6", "QGroupBox", "Form92", 481, 160, 433, 90, "Floating RAW -> GeoTIFF (COG)");
  row("Label8", "QLabel", "GroupBox6", 16, 24, kAutoWidth, 13,
      "Floating RAWファイルをGISで開けるGeoTIFF（COG）に変換します");
  row("Button12", "QPushButton", "GroupBox6", 32, 48, 75, 25, "実行");
  row("Button13", "QPushButton", "GroupBox6", 160, 48, 75, 25, "ヘルプ");
  row("ProgressBar1", "QProgressBar", "Form92", 56, 465, 353, 17, "");
  row("GroupBox5", "QGroupBox", "Form92", 481, 39, 433, 90, "GML1m -> Floating RAW");
  row("Label7", "QLabel", "GroupBox5", 16, 24, kAutoWidth, 13,
      "2次メッシュ単位でGML1mメッシュ標高データをFloating RAWファイルに変換します");
  row("Button10", "QPushButton", "GroupBox5", 32, 48, 75, 25, "実行");
  row("Button11", "QPushButton", "GroupBox5", 160, 48, 75, 25, "ヘルプ");
  // Under the GML groups of the second column, above where a later group may go.
  row("CheckBox1", "QCheckBox", "Form92", 497, 135, kAutoWidth, 17, "海水面を 0.0 にする");
  row("OpenDialog1", "QFileDialog", "Form92", 0, 0, 0, 0, "");
  row("SaveDialog1", "QFileDialog", "Form92", 0, 0, 0, 0, "");
}

void WindowTest::controls() {
  QFETCH(QString, className);
  QFETCH(QString, parentName);
  QFETCH(QRect, geometry);
  QFETCH(QString, text);
  TForm92 window("Elevara");
  auto* control = window.findChild<QWidget*>(QString::fromLatin1(QTest::currentDataTag()));
  QVERIFY(control != nullptr);
  QVERIFY(control->inherits(className.toLatin1().constData()));
  QCOMPARE(control->parentWidget()->objectName(), parentName);
  QCOMPARE(TextOf(control), text);
  if (geometry.isEmpty()) return;  // the dialogs have no place in the window
  QCOMPARE(control->pos(), geometry.topLeft());
  QCOMPARE(control->height(), geometry.height());
  if (geometry.width() != kAutoWidth) QCOMPARE(control->width(), geometry.width());
}

void WindowTest::window() {
  TForm92 window("Elevara");
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  QCOMPARE(window.objectName(), QStringLiteral("Form92"));
  QCOMPARE(window.windowTitle(), QString::fromUtf8(elevara::kProductCaption));
  QCOMPARE(window.size(), QSize(938, 505));
  QCOMPARE(window.pos(), QPoint(0, 0));
  QVERIFY(window.minimumSize() != window.maximumSize());
  QVERIFY(!window.windowIcon().isNull());
  QVERIFY(!window.windowIcon().pixmap(32, 32).isNull());
  // An empty bar with the range it has before any command.
  QCOMPARE(window.ProgressBar1->minimum(), 0);
  QCOMPARE(window.ProgressBar1->maximum(), 100);
  QCOMPARE(window.ProgressBar1->value(), 0);
  QVERIFY(!window.CheckBox1->isChecked());  // at every start
}

void WindowTest::controlsStayWhenResized() {
  TForm92 window("Elevara");
  window.show();
  const QRect exit = window.Button3->geometry();
  const QRect bar = window.ProgressBar1->geometry();
  for (const QSize size : {QSize(800, 700), QSize(200, 150)}) {
    window.resize(size);
    QCOMPARE(window.Button3->geometry(), exit);
    QCOMPARE(window.ProgressBar1->geometry(), bar);
  }
  // Never smaller than its client size, which would hide Exit and the bar.
  QCOMPARE(window.size(), QSize(938, 505));
  QCOMPARE(window.minimumSize(), QSize(938, 505));
}

void WindowTest::tabOrder() {
  TForm92 window("Elevara");
  QStringList order;
  QWidget* widget = window.Button3;
  do {
    if ((widget->focusPolicy() & Qt::TabFocus) && widget->window() == &window) {
      order << widget->objectName();
    }
    widget = widget->nextInFocusChain();
  } while (widget != window.Button3);
  // Exit, then the groups by their own order (GML10, no-data, GML5, DEM5 merge, then the second
  // column: GML1, the check box, GeoTIFF), each group's controls by theirs.
  const QStringList expected = {
      "Button3", "Button1", "Button2", "Button4",  "Button5",  "Edit1",     "Edit2",    "Button6",
      "Button7", "Button8", "Button9", "Button10", "Button11", "CheckBox1", "Button12", "Button13"};
  QCOMPARE(order, expected);
}

void WindowTest::everyTextIsVisible() {
  TForm92 window("Elevara");
  window.show();
  // The layout was made for this font; with a fallback the measurements below mean little.
  QCOMPARE(QFontInfo(window.font()).family(), QStringLiteral("IPAPGothic"));
  QCOMPARE(window.font().pixelSize(), 11);
  for (QGroupBox* box : window.findChildren<QGroupBox*>()) {
    QFont bold = box->font();
    bold.setBold(true);  // some styles draw the titles in bold
    const int title = std::max(QFontMetrics(box->font()).horizontalAdvance(box->title()),
                               QFontMetrics(bold).horizontalAdvance(box->title()));
    QVERIFY2(title + 16 <= box->width(), qPrintable(box->objectName()));
    const QRect inside = box->rect().adjusted(2, 2, -2, -2);
    for (QLabel* label : box->findChildren<QLabel*>()) {
      const QFontMetrics metrics(label->font());
      const QString name = label->objectName();
      QVERIFY2(label->width() >= metrics.horizontalAdvance(label->text()), qPrintable(name));
      QVERIFY2(label->height() >= metrics.height(), qPrintable(name));
      QVERIFY2(inside.contains(label->geometry()), qPrintable(name));
      for (QWidget* sibling : box->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (sibling == label) continue;
        QVERIFY2(!sibling->geometry().intersects(label->geometry()),
                 qPrintable(name + " overlaps " + sibling->objectName()));
      }
    }
  }
  for (QPushButton* button : window.findChildren<QPushButton*>()) {
    if (button->window() != &window) continue;
    const int text = QFontMetrics(button->font()).horizontalAdvance(button->text());
    QVERIFY2(text + 8 <= button->width(), qPrintable(button->objectName()));
  }
}

void WindowTest::helpBoxes_data() {
  QTest::addColumn<QString>("button");
  QTest::addColumn<QString>("text");
  using namespace elevara::app::text;
  QTest::newRow("GML10") << "Button2" << QString::fromUtf8(kHelpGml10);
  QTest::newRow("GML5") << "Button7" << QString::fromUtf8(kHelpGml5);
  QTest::newRow("DEM5 merge") << "Button9" << QString::fromUtf8(kHelpDem5Merge);
  QTest::newRow("no-data") << "Button5" << QString::fromUtf8(kHelpNoData);
  QTest::newRow("GML1") << "Button11" << QString::fromUtf8(kHelpGml1);
  QTest::newRow("GeoTIFF") << "Button13" << QString::fromUtf8(kHelpGeoTiff);
}

void WindowTest::helpBoxes() {
  QFETCH(QString, button);
  QFETCH(QString, text);
  ScriptedRunner runner;
  TForm92 window("Elevara", &runner);
  // The box breaks lines only where the text does, and fits the screen.
  runner.inspectBox = [&](QMessageBox& box) {
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    const QRect screen = box.screen()->availableGeometry();
    QCOMPARE(screen.size(), QSize(1024, 768));
    QVERIFY(screen.contains(box.frameGeometry()));
    auto* label = box.findChild<QLabel*>("qt_msgbox_label");
    QVERIFY(label != nullptr && !label->wordWrap());
    const QFontMetrics metrics(label->font());
    for (const QString& line : text.split(u'\n')) {
      QVERIFY2(metrics.horizontalAdvance(line) <= label->contentsRect().width(), qPrintable(line));
    }
    QVERIFY(label->height() >= text.count(u'\n') * metrics.lineSpacing());
    box.hide();
  };
  window.findChild<QPushButton*>(button)->click();
  QCOMPARE(runner.boxes.size(), std::size_t{1});
  QCOMPARE(runner.boxes[0].text, text);
  QCOMPARE(runner.boxes[0].caption, QStringLiteral("Elevara"));
  QCOMPARE(runner.boxes[0].icon, QMessageBox::NoIcon);
  QCOMPARE(runner.boxes[0].buttons, QStringList{"OK"});
  QCOMPARE(runner.boxes[0].format, Qt::PlainText);
  QVERIFY(runner.dialogs.empty());
  QCOMPARE(window.ProgressBar1->value(), 0);
}

void WindowTest::helpTextLines() {
  using namespace elevara::app::text;
  struct Help {
    const char* text;
    int lines;
    const char* secondLineStart;
  };
  // Full-width "１" in the GML helps, an ordinary "1" opening the merge help.
  const Help helps[] = {{kHelpGml10, 7, "１つのフォルダ"},
                        {kHelpGml5, 7, "１つのフォルダ"},
                        {kHelpDem5Merge, 6, "作成する2次メッシュ"},
                        {kHelpNoData, 6, "横幅最大90000"},
                        {kHelpGeoTiff, 9, "１つのフォルダ"}};
  for (const Help& help : helps) {
    const QString text = QString::fromUtf8(help.text);
    const QStringList lines = text.split(u'\n');
    QCOMPARE(lines.size(), help.lines);
    QVERIFY(lines[1].startsWith(QString::fromUtf8(help.secondLineStart)));
    QVERIFY(text.endsWith(QString::fromUtf8("\n\n作者：Ojorima\n")));
  }
  QVERIFY(QString::fromUtf8(kHelpDem5Merge).startsWith(u'1'));
  QCOMPARE(QString::fromUtf8(kLines).at(3), QChar(0x3000));
}

void WindowTest::exitAndCloseBoxEndTheProgram_data() {
  QTest::addColumn<bool>("exitButton");
  QTest::newRow("Exit button") << true;
  QTest::newRow("close box") << false;
}

void WindowTest::exitAndCloseBoxEndTheProgram() {
  QFETCH(bool, exitButton);
  ScriptedRunner runner;
  TForm92 window("Elevara", &runner);
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  QVERIFY(MessageLoopEndsAfter([&] {
    if (exitButton) {
      QTest::mouseClick(window.Button3, Qt::LeftButton);
    } else {
      window.close();
    }
  }));
  QVERIFY(!window.isVisible());
  QVERIFY(runner.boxes.empty());  // no question asked
}

QTEST_MAIN(WindowTest)
#include "window_test.moc"

#include "app/unit92.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>

#include "app/message_boxes.h"
#include "app/qt_services.h"
#include "app/texts.h"
#include "app/window_font.h"
#include "commands/geotiff_command.h"
#include "commands/gml_command.h"
#include "commands/merge_command.h"
#include "commands/nodata_command.h"
#include "platform/errors.h"

namespace elevara::app {
namespace {

// Two columns of groups 433 wide, at 24 and at 481, and a margin of 24 at the right: the first
// four commands on the left, the later ones on the right.
constexpr int kClientWidth = 938;
constexpr int kClientHeight = 505;
constexpr int kLabelHeight = 13;

void SetText(QPushButton* button, const QString& text) {
  button->setText(text);
}
void SetText(QGroupBox* box, const QString& text) {
  box->setTitle(text);
}
void SetText(QCheckBox* box, const QString& text) {
  box->setText(text);
  box->resize(box->sizeHint().width(), box->height());
}
void SetText(QLineEdit* edit, const QString& text) {
  edit->setText(text);
}
// Labels size themselves to their text; only their left and top are fixed.
void SetText(QLabel* label, const QString& text) {
  label->setText(text);
  label->resize(label->sizeHint().width(), kLabelHeight);
}

template <class Control>
Control* Place(QWidget* parent, const char* name, const QRect& geometry) {
  auto* control = new Control(parent);
  control->setObjectName(QLatin1String(name));
  control->setGeometry(geometry);
  return control;
}

// A control that shows its name until the constructor gives it its text.
template <class Control>
Control* PlaceNamed(QWidget* parent, const char* name, const QRect& geometry) {
  Control* control = Place<Control>(parent, name, geometry);
  SetText(control, QLatin1String(name));
  return control;
}

QPushButton* PlaceButton(QWidget* parent, const char* name, int left, int top) {
  return PlaceNamed<QPushButton>(parent, name, QRect(left, top, 75, 25));
}

QLabel* PlaceLabel(QWidget* parent, const char* name, int left, int top) {
  QLabel* label = PlaceNamed<QLabel>(parent, name, QRect(left, top, 0, kLabelHeight));
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

QFileDialog* MakeDialog(QWidget* parent, const char* name) {
  auto* dialog = new QFileDialog(parent);
  dialog->setObjectName(QLatin1String(name));
  return dialog;
}

}  // namespace

QIcon ApplicationIcon() {
  return QIcon(QStringLiteral(":/elevara/elevara.png"));
}

TForm92::TForm92(const std::string& applicationTitle, ModalRunner* runner, QWidget* parent)
    : QWidget(parent),
      runner_(runner != nullptr ? *runner : ownRunner_),
      caption_(FromUtf8(applicationTitle)) {
  setObjectName(QStringLiteral("Form92"));
  setWindowTitle(QStringLiteral("Form92"));
  setWindowIcon(ApplicationIcon());
  setFont(WindowFont());
  // A plain top-level window keeps its resizable frame; the controls are placed without a
  // layout, so they stay where they are when it is resized.
  resize(kClientWidth, kClientHeight);
  // Any smaller and the fixed controls at the right and bottom, Exit among them, are cut off.
  setMinimumSize(kClientWidth, kClientHeight);
  move(0, 0);
  buildControls();
  setTabOrders();
  connectHandlers();
  services_ =
      std::make_unique<QtServices>(*OpenDialog1, *SaveDialog1, *ProgressBar1, runner_, caption_);
  setTexts();
}

TForm92::~TForm92() = default;

void TForm92::buildControls() {
  OpenDialog1 = MakeDialog(this, "OpenDialog1");
  SaveDialog1 = MakeDialog(this, "SaveDialog1");
  ProgressBar1 = Place<QProgressBar>(this, "ProgressBar1", QRect(56, 465, 353, 17));
  ProgressBar1->setTextVisible(false);
  Button3 = PlaceButton(this, "Button3", 382, 8);

  GroupBox1 = PlaceNamed<QGroupBox>(this, "GroupBox1", QRect(24, 39, 433, 90));
  Label1 = PlaceLabel(GroupBox1, "Label1", 16, 24);
  Button1 = PlaceButton(GroupBox1, "Button1", 32, 48);
  Button2 = PlaceButton(GroupBox1, "Button2", 160, 48);

  GroupBox2 = PlaceNamed<QGroupBox>(this, "GroupBox2", QRect(24, 327, 433, 121));
  Label2 = PlaceLabel(GroupBox2, "Label2", 16, 24);
  Button4 = PlaceButton(GroupBox2, "Button4", 32, 80);
  Button5 = PlaceButton(GroupBox2, "Button5", 160, 80);
  Edit1 = PlaceNamed<QLineEdit>(GroupBox2, "Edit1", QRect(112, 48, 57, 21));
  Edit2 = PlaceNamed<QLineEdit>(GroupBox2, "Edit2", QRect(259, 48, 57, 21));
  Label3 = PlaceLabel(GroupBox2, "Label3", 32, 51);
  Label4 = PlaceLabel(GroupBox2, "Label4", 184, 51);

  GroupBox3 = PlaceNamed<QGroupBox>(this, "GroupBox3", QRect(24, 135, 433, 90));
  Label5 = PlaceLabel(GroupBox3, "Label5", 16, 24);
  Button6 = PlaceButton(GroupBox3, "Button6", 32, 50);
  Button7 = PlaceButton(GroupBox3, "Button7", 160, 50);

  GroupBox4 = PlaceNamed<QGroupBox>(this, "GroupBox4", QRect(24, 231, 433, 90));
  Label6 = PlaceLabel(GroupBox4, "Label6", 16, 24);
  Button8 = PlaceButton(GroupBox4, "Button8", 32, 48);
  Button9 = PlaceButton(GroupBox4, "Button9", 160, 48);

  GroupBox5 = PlaceNamed<QGroupBox>(this, "GroupBox5", QRect(481, 39, 433, 90));
  Label7 = PlaceLabel(GroupBox5, "Label7", 16, 24);
  Button10 = PlaceButton(GroupBox5, "Button10", 32, 48);
  Button11 = PlaceButton(GroupBox5, "Button11", 160, 48);
  GroupBox6 = PlaceNamed<QGroupBox>(this, "GroupBox6", QRect(481, 160, 433, 90));
  Label8 = PlaceLabel(GroupBox6, "Label8", 16, 24);
  Button12 = PlaceButton(GroupBox6, "Button12", 32, 48);
  Button13 = PlaceButton(GroupBox6, "Button13", 160, 48);

  // Under the GML groups of the second column; its width follows its text.
  CheckBox1 = PlaceNamed<QCheckBox>(this, "CheckBox1", QRect(497, 135, 0, 17));
}

void TForm92::setTabOrders() {
  // Tab order counts within each parent, and a group box hands the focus through its own
  // controls before the next one: Exit, then GroupBox1, GroupBox2, GroupBox3, GroupBox4, then
  // the second column (GroupBox5, the check box under it, GroupBox6).
  QWidget* const chain[] = {Button3,  Button1,   Button2,  Button4, Button5, Edit1,
                            Edit2,    Button6,   Button7,  Button8, Button9, Button10,
                            Button11, CheckBox1, Button12, Button13};
  for (std::size_t i = 1; i < std::size(chain); ++i) setTabOrder(chain[i - 1], chain[i]);
}

void TForm92::connectHandlers() {
  connect(Button1, &QPushButton::clicked, this, &TForm92::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TForm92::Button2Click);
  connect(Button3, &QPushButton::clicked, this, &TForm92::Button3Click);
  connect(Button4, &QPushButton::clicked, this, &TForm92::Button4Click);
  connect(Button5, &QPushButton::clicked, this, &TForm92::Button5Click);
  connect(Button6, &QPushButton::clicked, this, &TForm92::Button6Click);
  connect(Button7, &QPushButton::clicked, this, &TForm92::Button7Click);
  connect(Button8, &QPushButton::clicked, this, &TForm92::Button8Click);
  connect(Button9, &QPushButton::clicked, this, &TForm92::Button9Click);
  connect(Button10, &QPushButton::clicked, this, &TForm92::Button10Click);
  connect(Button11, &QPushButton::clicked, this, &TForm92::Button11Click);
  connect(Button12, &QPushButton::clicked, this, &TForm92::Button12Click);
  connect(Button13, &QPushButton::clicked, this, &TForm92::Button13Click);
}

void TForm92::setTexts() {
  auto utf8 = [](const char* text) { return QString::fromUtf8(text); };
  setWindowTitle(utf8(text::kCaption));
  SetText(GroupBox1, utf8(text::kGroupGml10));
  SetText(Label1, utf8(text::kAboutGml10));
  SetText(Button1, utf8(text::kRun));
  SetText(Button2, utf8(text::kHelp));
  SetText(GroupBox3, utf8(text::kGroupGml5));
  SetText(Label5, utf8(text::kAboutGml5));
  SetText(Button6, utf8(text::kRun));
  SetText(Button7, utf8(text::kHelp));
  SetText(GroupBox4, utf8(text::kGroupDem5Merge));
  SetText(Label6, utf8(text::kAboutDem5Merge));
  SetText(Button8, utf8(text::kRun));
  SetText(Button9, utf8(text::kHelp));
  SetText(GroupBox2, utf8(text::kGroupNoData));
  SetText(Label2, utf8(text::kAboutNoData));
  SetText(Label3, utf8(text::kPixels));
  SetText(Label4, utf8(text::kLines));
  SetText(Edit1, utf8(text::kDefaultWidth));
  SetText(Edit2, utf8(text::kDefaultHeight));
  SetText(Button4, utf8(text::kRun));
  SetText(Button5, utf8(text::kHelp));
  SetText(GroupBox6, utf8(text::kGroupGeoTiff));
  SetText(Label8, utf8(text::kAboutGeoTiff));
  SetText(Button12, utf8(text::kRun));
  SetText(Button13, utf8(text::kHelp));
  SetText(Button3, utf8(text::kExit));
  SetText(GroupBox5, utf8(text::kGroupGml1));
  SetText(Label7, utf8(text::kAboutGml1));
  SetText(Button10, utf8(text::kRun));
  SetText(Button11, utf8(text::kHelp));
  SetText(CheckBox1, utf8(text::kSeaLevelZero));
}

void TForm92::Button1Click() {
  runCommand([this](Services& services) { RunGml10Conversion(services, gmlOptions()); });
}

void TForm92::Button2Click() {
  showHelp(text::kHelpGml10);
}

void TForm92::Button3Click() {
  close();
}

void TForm92::Button4Click() {
  runCommand([this](Services& services) {
    const std::string width = Edit1->text().toStdString();
    const std::string height = Edit2->text().toStdString();
    RunNoDataReplacement(services, width, height);
  });
}

void TForm92::Button5Click() {
  showHelp(text::kHelpNoData);
}

void TForm92::Button6Click() {
  runCommand([this](Services& services) { RunGml5Conversion(services, gmlOptions()); });
}

void TForm92::Button7Click() {
  showHelp(text::kHelpGml5);
}

void TForm92::Button8Click() {
  runCommand([](Services& services) { RunDem5Merge(services); });
}

void TForm92::Button9Click() {
  showHelp(text::kHelpDem5Merge);
}

void TForm92::Button10Click() {
  runCommand([this](Services& services) { RunGml1Conversion(services, gmlOptions()); });
}

void TForm92::Button11Click() {
  showHelp(text::kHelpGml1);
}

void TForm92::Button12Click() {
  runCommand([](Services& services) { RunGeoTiffExport(services); });
}

void TForm92::Button13Click() {
  showHelp(text::kHelpGeoTiff);
}

GmlOptions TForm92::gmlOptions() const {
  return {CheckBox1->isChecked()};
}

void TForm92::closeEvent(QCloseEvent* event) {
  // Ending now would cut a command off in the middle of its files. The user is asked first;
  // an interrupted command stops at its next progress step or poll, where it unwinds and
  // removes what it has not finished, says what it did not write, and the window closes once it
  // has returned.
  if (commandRunning_) {
    event->ignore();
    if (closeDeferred_ || askingToInterrupt_) return;
    askingToInterrupt_ = true;
    const bool interrupt = AskToInterrupt(runner_, caption_);
    askingToInterrupt_ = false;
    if (!interrupt) return;
    services_->setInterruptRequested(true);
    closeDeferred_ = true;
    return;
  }
  QWidget::closeEvent(event);
}

void TForm92::runCommand(const std::function<void(Services&)>& command) {
  // The progress steps process pending clicks; none of them may start a second command inside
  // this one, which would share its working files, dialogs and bar.
  if (commandRunning_) return;
  commandRunning_ = true;
  const QPointer<QWidget> focused = QApplication::focusWidget();
  enableCommandControls(false);
  services_->setInterruptRequested(false);
  runShowingErrors([&] {
    try {
      command(*services_);
    } catch (const Interrupted& interrupted) {
      // Asked for by a close of the window, which follows once the user has read what the
      // command left unwritten.
      services_->setInterruptRequested(false);
      services_->showMessage(InterruptedReport(interrupted));
    }
  });
  enableCommandControls(true);
  if (focused != nullptr) focused->setFocus();
  commandRunning_ = false;
  if (closeDeferred_) {
    closeDeferred_ = false;
    close();
  }
}

void TForm92::runShowingErrors(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    ShowErrorBox(runner_, caption_, error.what());
  } catch (...) {
    ShowErrorBox(runner_, caption_, {});
  }
}

void TForm92::showHelp(const char* text) {
  runShowingErrors([&] { services_->showMessage(text); });
}

void TForm92::enableCommandControls(bool enabled) {
  // Exit stays usable: it interrupts the command and closes the window.
  for (QWidget* control : std::initializer_list<QWidget*>{
           Button1, Button2, Button4, Button5, Button6, Button7, Button8, Button9, Button10,
           Button11, Button12, Button13, Edit1, Edit2, CheckBox1}) {
    control->setEnabled(enabled);
  }
}

}  // namespace elevara::app

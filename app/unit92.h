// The main window: the command groups, each with its Run and Help button, the two fields the
// no-data replacement reads, the check box the GML commands read, the shared progress bar and
// the Exit button.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include <QIcon>
#include <QWidget>

#include "app/modal_runner.h"
#include "gml/gml_conversion.h"

class QCheckBox;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace elevara {
class Services;
}

namespace elevara::app {

class QtServices;

// The icon of the window, the same image the desktop entry names.
QIcon ApplicationIcon();

class TForm92 : public QWidget {
  Q_OBJECT

 public:
  // `applicationTitle` is the caption of every box. `runner` executes the modal dialogs and
  // boxes; without one the window executes them itself.
  explicit TForm92(const std::string& applicationTitle, ModalRunner* runner = nullptr,
                   QWidget* parent = nullptr);
  ~TForm92() override;

  bool commandRunning() const { return commandRunning_; }
  QtServices& services() { return *services_; }

  // The controls, in the order of the window's description.
  QFileDialog* OpenDialog1 = nullptr;
  QFileDialog* SaveDialog1 = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QPushButton* Button3 = nullptr;
  QGroupBox* GroupBox1 = nullptr;
  QLabel* Label1 = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
  QGroupBox* GroupBox2 = nullptr;
  QLabel* Label2 = nullptr;
  QPushButton* Button4 = nullptr;
  QPushButton* Button5 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QLineEdit* Edit2 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label4 = nullptr;
  QGroupBox* GroupBox3 = nullptr;
  QLabel* Label5 = nullptr;
  QPushButton* Button6 = nullptr;
  QPushButton* Button7 = nullptr;
  QGroupBox* GroupBox4 = nullptr;
  QLabel* Label6 = nullptr;
  QPushButton* Button8 = nullptr;
  QPushButton* Button9 = nullptr;
  QGroupBox* GroupBox5 = nullptr;
  QLabel* Label7 = nullptr;
  QPushButton* Button10 = nullptr;
  QPushButton* Button11 = nullptr;
  // The second column, right of the first.
  QGroupBox* GroupBox6 = nullptr;
  QLabel* Label8 = nullptr;
  QPushButton* Button12 = nullptr;
  QPushButton* Button13 = nullptr;
  // Off at every start: the choice is not remembered.
  QCheckBox* CheckBox1 = nullptr;

 public slots:
  void Button1Click();
  void Button2Click();
  void Button3Click();
  void Button4Click();
  void Button5Click();
  void Button6Click();
  void Button7Click();
  void Button8Click();
  void Button9Click();
  void Button10Click();
  void Button11Click();
  void Button12Click();
  void Button13Click();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildControls();
  void setTabOrders();
  void connectHandlers();
  void setTexts();

  void runCommand(const std::function<void(Services&)>& command);
  void runShowingErrors(const std::function<void()>& handler);
  void showHelp(const char* text);
  void enableCommandControls(bool enabled);
  // What the GML commands take from the window besides the picked file.
  GmlOptions gmlOptions() const;

  ModalRunner ownRunner_;
  ModalRunner& runner_;
  QString caption_;
  std::unique_ptr<QtServices> services_;
  bool commandRunning_ = false;
  // A close asked for while a command runs, and confirmed, interrupts it; the window closes once
  // it has returned.
  bool closeDeferred_ = false;
  bool askingToInterrupt_ = false;
};

}  // namespace elevara::app

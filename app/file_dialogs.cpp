#include "app/file_dialogs.h"

#include <algorithm>
#include <array>

#include <QAbstractItemView>
#include <QCompleter>
#include <QDateTime>
#include <QEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QLocale>
#include <QMimeDatabase>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTreeView>

namespace elevara::app {
namespace {

// The longest names a user picks: the published tiles'.
constexpr char kLongestTileName[] = "FG-GML-3624-30-76-DEM5B-20170202.xml";

enum Column { kName, kSize, kType, kModified, kColumns };

// The width of a cell of `view` showing `text`, with the file icon in front when `withIcon`, as
// the view's style draws it.
int CellWidth(const QTreeView& view, const QString& text, bool withIcon) {
  QStyleOptionViewItem option;
  option.initFrom(&view);
  option.text = text;
  option.features = QStyleOptionViewItem::HasDisplay;
  if (withIcon) {
    const int icon = view.style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, &view);
    option.features |= QStyleOptionViewItem::HasDecoration;
    option.decorationSize = view.iconSize().isValid() ? view.iconSize() : QSize(icon, icon);
  }
  return view.style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), &view).width();
}

int WidestCell(const QTreeView& view, const QStringList& texts, bool withIcon = false) {
  int widest = 0;
  for (const QString& text : texts) widest = std::max(widest, CellWidth(view, text, withIcon));
  return widest;
}

// The texts the file model shows, in the system's formats: sizes just below each unit's next
// step, and the last days of every month just before midnight.
QStringList SizeTexts() {
  const QLocale system = QLocale::system();
  QStringList texts;
  for (qint64 unit = 1024; unit <= (qint64{1} << 50); unit *= 1024) {
    texts << system.formattedDataSize(unit - 1);
  }
  return texts;
}

QStringList DateTexts() {
  const QLocale system = QLocale::system();
  QStringList texts;
  for (int month = 1; month <= 12; ++month) {
    const QDateTime late(QDate(2000, month, 28), QTime(23, 59, 59));
    texts << system.toString(late, QLocale::ShortFormat);
  }
  return texts;
}

QStringList TypeTexts() {
  const QMimeDatabase types;
  return {types.mimeTypeForName(QStringLiteral("application/xml")).comment(),
          types.mimeTypeForName(QStringLiteral("application/octet-stream")).comment()};
}

QTreeView* DetailView(QFileDialog& dialog) {
  auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
  return view != nullptr && view->header()->count() >= kColumns ? view : nullptr;
}

// Widens the columns of the detail view to their texts, never narrowing what the user widened.
void FitDetailColumns(QTreeView& view) {
  QHeaderView* header = view.header();
  const std::array<int, kColumns> wanted = {
      CellWidth(view, QString::fromLatin1(kLongestTileName), true), WidestCell(view, SizeTexts()),
      WidestCell(view, TypeTexts()), WidestCell(view, DateTexts())};
  for (int column = 0; column < kColumns; ++column) {
    const int width = std::max(wanted[column], header->sectionSizeHint(column));
    if (header->sectionSize(column) < width) header->resizeSection(column, width);
  }
}

// Widens the dialog to the columns, so that nothing needs a sideways scroll, and gives it some
// twenty rows. The dialog's parts have their sizes only once it is shown, just before it is
// placed on the screen, which is when this runs.
class DialogFitter final : public QObject {
 public:
  explicit DialogFitter(QFileDialog& dialog) : QObject(&dialog), dialog_(dialog) {
    setObjectName(QLatin1String(kName));
    dialog.installEventFilter(this);
  }
  static constexpr char kName[] = "elevaraDialogFitter";

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == &dialog_ && event->type() == QEvent::Show) fit();
    return false;
  }

 private:
  void fit() {
    QTreeView* view = DetailView(dialog_);
    if (view == nullptr) return;
    const int needed = view->header()->length() + 2 * view->frameWidth() +
                       view->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view);
    const int width = dialog_.width() + std::max(needed - view->width(), 0);
    const int height =
        dialog_.height() + std::max(20 * view->fontMetrics().height() - view->height(), 0);
    dialog_.resize(width, height);
  }

  QFileDialog& dialog_;
};

void FitToTileNames(QFileDialog& dialog) {
  QTreeView* view = DetailView(dialog);
  if (view == nullptr) return;
  FitDetailColumns(*view);
  if (dialog.findChild<QObject*>(QLatin1String(DialogFitter::kName), Qt::FindDirectChildrenOnly) ==
      nullptr) {
    new DialogFitter(dialog);
  }
}

void PrepareFileDialog(QFileDialog& dialog, const QString& title) {
  dialog.setWindowTitle(title);
  // Qt's own dialog on every platform: some native ones refuse a typed name of a file that does
  // not exist, or ask before replacing one.
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setViewMode(QFileDialog::Detail);
  FitToTileNames(dialog);
}

}  // namespace

void PrepareOpenDialog(QFileDialog& dialog, const QString& title, const QStringList& filters) {
  PrepareFileDialog(dialog, title);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // The entries read as the commands wrote them; the Qt patterns behind them stay hidden.
  dialog.setOption(QFileDialog::HideNameFilterDetails, true);
  dialog.setNameFilters(filters);
}

void PrepareSaveDialog(QFileDialog& dialog, const QString& title) {
  PrepareFileDialog(dialog, title);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  dialog.setNameFilters({});
}

void OfferPath(QFileDialog& dialog, const QString& folder, const QString& name) {
  if (!folder.isEmpty()) dialog.setDirectory(folder);
  dialog.selectFile(name);
}

void CloseCompletionLists(QFileDialog& dialog) {
  for (QCompleter* completer : dialog.findChildren<QCompleter*>()) {
    if (completer->popup() != nullptr) completer->popup()->hide();
  }
}

}  // namespace elevara::app

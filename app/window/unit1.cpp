#include "app/window/unit1.h"

#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include "app/platform/process.h"
#include "app/window/qt_ui.h"

namespace kova {

std::optional<QString> DesktopServices::ExecuteOpenDialog(QFileDialog& dialog) {
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  return files.first();
}

bool DesktopServices::OpenUrl(const QUrl& url) {
  return QDesktopServices::openUrl(url);
}

void DesktopServices::ShowErrorBox(QWidget* owner, const QString& caption, const QString& text) {
  ShowApplicationErrorBox(owner, caption, text);
}

}  // namespace kova

namespace {

// "MS Sans Serif" is a narrow sans serif; where it is missing, a narrow
// face comes closest ("Verdana" falls back to a wide one, which matches it).
void AddFontSubstitutes() {
  static const bool added = [] {
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Arial"),
                                QStringLiteral("Liberation Sans"), QStringLiteral("Helvetica"),
                                QStringLiteral("DejaVu Sans Condensed")});
    return true;
  }();
  (void)added;
}

// Labels size themselves to their text: one whose text does not fit its
// place grows to the right.
void GrowToText(QLabel* label) {
  const int needed = label->fontMetrics().horizontalAdvance(label->text());
  if (needed > label->width()) label->resize(needed, label->height());
}

QFont FixedFont(const char* family, int pixel_size) {
  QFont font{QString::fromLatin1(family)};
  font.setPixelSize(pixel_size);
  return font;
}

// A control placed as the window's layout says.
template <typename Control>
Control* Place(Control* control, kova::FormControl which, const QFont& font) {
  const kova::ControlLayout& layout = kova::LayoutOf(which);
  control->setObjectName(QString::fromLatin1(layout.name));
  control->setGeometry(layout.left, layout.top, layout.width, layout.height);
  control->setFont(font);
  return control;
}

QLabel* MakeLabel(QWidget* parent, kova::FormControl which, const QFont& font) {
  auto* label = new QLabel(QString::fromUtf8(kova::LayoutOf(which).text), parent);
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return Place(label, which, font);
}

QPushButton* MakeButton(QWidget* parent, kova::FormControl which, const QFont& font) {
  return Place(new QPushButton(QString::fromUtf8(kova::LayoutOf(which).text), parent), which, font);
}

// The open dialog's filters: "Name (*.a *.b)".
QStringList DialogFilters() {
  QStringList filters;
  for (const kova::FileFilter& filter : kova::kOpenDialogFilters) {
    QString masks = QString::fromLatin1(filter.masks);
    masks.replace(';', ' ');
    // Names without a dot are files too.
    if (masks == QLatin1String("*.*")) masks = QStringLiteral("*");
    QString name = QString::fromLatin1(filter.name);
    name.truncate(name.indexOf(" ("));
    filters << QStringLiteral("%1 (%2)").arg(name, masks);
  }
  return filters;
}

// Local file paths of a drop, in the order given.
QStringList LocalPaths(const QMimeData* data) {
  QStringList paths;
  if (data == nullptr || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) paths << QDir::cleanPath(url.toLocalFile());
  }
  return paths;
}

}  // namespace

TForm1::TForm1(kova::FormPaths paths, kova::WindowServices* services, QWidget* parent)
    : QWidget(parent),
      own_services_(services ? nullptr : std::make_unique<kova::DesktopServices>()),
      services_(services ? services : own_services_.get()),
      logic_(*this, KovaImg1, std::move(paths), kova::ApplicationTitle(kova::ProgramPath())) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QString::fromLatin1(kova::kFormCaption));
  AddFontSubstitutes();
  setFont(FixedFont("MS Sans Serif", 11));
  QPalette face = palette();
  face.setColor(QPalette::Window, face.color(QPalette::Button));
  setPalette(face);
  setAutoFillBackground(true);
  resize(kova::kFormClientWidth, kova::kFormClientHeight);
  CreateControls();
  logic_.Guarded(&kova::FormLogic::FormCreate);
}

TForm1::~TForm1() = default;

void TForm1::CreateControls() {
  using kova::FormControl;
  const QFont verdana = FixedFont("Verdana", 11);

  Label4 = MakeLabel(this, FormControl::Label4, verdana);

  QFont link_font = FixedFont("MS Sans Serif", 13);
  link_font.setUnderline(true);
  Label5 = MakeLabel(this, FormControl::Label5, link_font);
  QPalette navy = Label5->palette();
  navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
  Label5->setPalette(navy);
  Label5->setMouseTracking(true);
  Label5->installEventFilter(this);

  Label1 = MakeLabel(this, FormControl::Label1, verdana);
  Label2 = MakeLabel(this, FormControl::Label2, verdana);
  Edit1 = Place(new QLineEdit(this), FormControl::Edit1, verdana);
  Button2 = MakeButton(this, FormControl::Button2, verdana);
  Label3 = MakeLabel(this, FormControl::Label3, verdana);
  Edit2 = Place(new QLineEdit(this), FormControl::Edit2, verdana);
  Button3 = MakeButton(this, FormControl::Button3, verdana);
  Button1 = MakeButton(this, FormControl::Button1, verdana);
  Label6 = MakeLabel(this, FormControl::Label6, verdana);
  Label14 = MakeLabel(this, FormControl::Label14, verdana);

  // The address and the contact are set by the build and may be longer
  // than the places laid out for them.
  GrowToText(Label5);
  GrowToText(Label14);

  // Never shown: the matching of patterns is done by the conversion run.
  FileListBox1 = Place(new QListWidget(this), FormControl::FileListBox1, font());
  FileListBox1->setSortingEnabled(true);
  FileListBox1->setVisible(false);

  OpenDialog1 = new QFileDialog(this);
  OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
  OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
  // Also serves the output box, so a name that does not exist yet is fine.
  OpenDialog1->setFileMode(QFileDialog::AnyFile);
  OpenDialog1->setNameFilters(DialogFilters());

  // The preview panel, below everything else; it opens after a run.
  ImagePreview = new QLabel(this);
  ImagePreview->setObjectName(QStringLiteral("ImagePreview"));
  ImagePreview->setGeometry(kova::kPreviewLeft, kova::kPreviewTop, kova::kPreviewWidth,
                            kova::kPreviewHeight);
  ImagePreview->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  ImagePreview->setVisible(false);
  PreviewInfo = new QLabel(this);
  PreviewInfo->setObjectName(QStringLiteral("PreviewInfo"));
  PreviewInfo->setTextFormat(Qt::PlainText);
  PreviewInfo->setGeometry(kova::kPreviewLeft, kova::kPreviewTop, kova::kPreviewWidth, 13);
  PreviewInfo->setFont(verdana);
  PreviewInfo->setVisible(false);

  for (QPushButton* button : {Button1, Button2, Button3}) button->setAutoDefault(false);

  // Files and folders dropped on the window fill the input box, or the
  // output box when dropped onto it; Enter in either box starts the run.
  setAcceptDrops(true);
  for (QLineEdit* box : {Edit1, Edit2}) {
    box->installEventFilter(this);
    connect(box, &QLineEdit::returnPressed, this,
            [this] { logic_.Guarded(&kova::FormLogic::Button1Click); });
  }

  setTabOrder(Button1, Edit1);
  setTabOrder(Edit1, Button2);
  setTabOrder(Button2, Edit2);
  setTabOrder(Edit2, Button3);
  setTabOrder(Button3, FileListBox1);
  Button1->setFocus();

  const auto handle = [this](QPushButton* button, void (kova::FormLogic::*handler)()) {
    connect(button, &QPushButton::clicked, this, [this, handler] { logic_.Guarded(handler); });
  };
  handle(Button1, &kova::FormLogic::Button1Click);
  handle(Button2, &kova::FormLogic::Button2Click);
  handle(Button3, &kova::FormLogic::Button3Click);
}

void TForm1::FormCreate() {
  logic_.FormCreate();
}

void TForm1::Button1Click() {
  logic_.Button1Click();
}

void TForm1::Button2Click() {
  logic_.Button2Click();
}

void TForm1::Button3Click() {
  logic_.Button3Click();
}

void TForm1::Label5Click() {
  logic_.Label5Click();
}

void TForm1::Label5MouseMove() {
  logic_.Label5MouseMove();
}

void TForm1::Label5MouseLeave() {
  logic_.Label5MouseLeave();
}

void TForm1::ShowPreview(const QString& image_path) {
  ShowPreview(kova::PreviewOf(image_path.toStdString()));
}

void TForm1::ShowPreview(const kova::FormPreview& preview) {
  const kova::RgbaImage& picture = preview.picture;
  const QImage shown(picture.pixels.data(), picture.width, picture.height, picture.width * 4,
                     QImage::Format_RGBA8888);
  ImagePreview->setPixmap(QPixmap::fromImage(shown.copy()));
  ImagePreview->resize(picture.width, picture.height);
  PreviewInfo->setText(QString::fromStdString(preview.info));
  PreviewInfo->move(kova::kPreviewLeft, ImagePreview->y() + picture.height + 6);
  ImagePreview->setVisible(true);
  PreviewInfo->setVisible(true);
  const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
  resize(width(), kova::kFormOuterHeight - frame.top() - frame.bottom() + PanelHeight());
}

int TForm1::PanelHeight() const {
  if (ImagePreview->isHidden()) return 0;
  return PreviewInfo->y() + PreviewInfo->height() + 8 - kova::kFormClientHeight;
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
  if (!LocalPaths(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
  if (DropFiles(Edit1, event->mimeData())) event->acceptProposedAction();
}

bool TForm1::DropFiles(QLineEdit* box, const QMimeData* data) {
  std::vector<std::string> names;
  for (const QString& path : LocalPaths(data)) names.push_back(path.toStdString());
  return logic_.Drop(box == Edit2 ? Box::Output : Box::Input, names);
}

std::string TForm1::BoxText(Box box) const {
  return BoxOf(box)->text().toStdString();
}

void TForm1::SetBoxText(Box box, const std::string& text) {
  BoxOf(box)->setText(QString::fromStdString(text));
}

void TForm1::FocusBox(Box box) {
  BoxOf(box)->setFocus();
}

std::optional<std::string> TForm1::ChooseFile(const std::string& offered) {
  if (!offered.empty()) {
    const QFileInfo file(QString::fromStdString(offered));
    OpenDialog1->setDirectory(file.absolutePath());
    OpenDialog1->selectFile(file.absoluteFilePath());
  }
  const std::optional<QString> chosen = services_->ExecuteOpenDialog(*OpenDialog1);
  if (!chosen) return std::nullopt;
  return chosen->toStdString();
}

void TForm1::OpenAddress(const std::string& address) {
  services_->OpenUrl(QUrl(QString::fromStdString(address)));
}

void TForm1::ShowErrorBox(const std::string& caption, const std::string& text) {
  services_->ShowErrorBox(this, QString::fromStdString(caption), QString::fromStdString(text));
}

void TForm1::SetCursor(kova::CursorKind cursor) {
  kova::SetApplicationCursor(cursor);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Edit1 || watched == Edit2) {
    auto* box = static_cast<QLineEdit*>(watched);
    switch (event->type()) {
      case QEvent::DragEnter:
      case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (LocalPaths(drag->mimeData()).isEmpty()) break;
        drag->acceptProposedAction();
        return true;
      }
      case QEvent::Drop: {
        // Local files never go into the box as addresses: a drop that
        // gives no usable name is ignored.
        auto* drop = static_cast<QDropEvent*>(event);
        if (LocalPaths(drop->mimeData()).isEmpty()) break;
        if (DropFiles(box, drop->mimeData())) {
          drop->acceptProposedAction();
        } else {
          drop->ignore();
        }
        return true;
      }
      default:
        break;
    }
  }
  if (watched == Label5) {
    switch (event->type()) {
      case QEvent::MouseMove:
        logic_.Guarded(&kova::FormLogic::Label5MouseMove);
        break;
      case QEvent::Leave:
        logic_.Guarded(&kova::FormLogic::Label5MouseLeave);
        break;
      case QEvent::MouseButtonRelease: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton &&
            Label5->rect().contains(mouse->position().toPoint())) {
          logic_.Guarded(&kova::FormLogic::Label5Click);
        }
        break;
      }
      default:
        break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TForm1::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (fitted_) return;
  fitted_ = true;
  FitAndCentre();
  // Under a window manager the frame is known only once it has been added.
  QTimer::singleShot(0, this, [this] { FitAndCentre(); });
}

void TForm1::FitAndCentre() {
  const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
  resize(kova::kFormOuterWidth - frame.left() - frame.right(),
         kova::kFormOuterHeight - frame.top() - frame.bottom() + PanelHeight());
  const QScreen* display = screen();
  if (display == nullptr) return;
  const QRect area = display->geometry();
  move(area.x() + (area.width() - kova::kFormOuterWidth) / 2,
       area.y() + (area.height() - kova::kFormOuterHeight) / 2);
}

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
#include <algorithm>
#include <exception>

#include "app/features/image_raster.h"
#include "app/features/preview.h"
#include "app/features/shipped_files.h"
#include "app/platform/errors.h"
#include "app/platform/process.h"
#include "app/platform/settings.h"
#include "app/platform/settings_location.h"
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

namespace {

// Local file paths of a drop, in the order given.
QStringList LocalPaths(const QMimeData* data) {
  QStringList paths;
  if (data == nullptr || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) paths << QDir::cleanPath(url.toLocalFile());
  }
  return paths;
}

QString GridPattern(const QString& folder) {
  return QDir(folder).filePath(QStringLiteral("*.asc"));
}

}  // namespace

std::optional<QString> InputTextForDrop(const QStringList& paths) {
  if (paths.isEmpty()) return std::nullopt;
  const QFileInfo first(paths.first());
  if (first.isDir()) return GridPattern(first.absoluteFilePath());
  if (paths.size() == 1) return first.absoluteFilePath();
  // Several files: the run takes the grid files of one folder as a pattern.
  return GridPattern(first.absolutePath());
}

std::optional<QString> OutputTextForDrop(const QStringList& paths) {
  for (const QString& path : paths) {
    const QFileInfo file(path);
    if (!file.isDir()) return file.absoluteFilePath();
  }
  return std::nullopt;
}

FormPaths FormPaths::FromProcess() {
  return {SettingsFilePath(ProgramPath()), ShippedTemplatePath(), CurrentDirectory()};
}

}  // namespace kova

namespace {

// The client size of the classic frame (4-pixel borders, 19-pixel caption)
// for the 630 x 207 outer size; used until the real frame is known.
constexpr int kClassicClientWidth = 622;
constexpr int kClassicClientHeight = 180;

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

template <typename Control>
Control* Place(Control* control, const char* name, int left, int top, int width, int height,
               const QFont& font) {
  control->setObjectName(QString::fromLatin1(name));
  control->setGeometry(left, top, width, height);
  control->setFont(font);
  return control;
}

QLabel* MakeLabel(QWidget* parent, const char* name, int left, int top, int width, int height,
                  const QString& text, const QFont& font) {
  auto* label = new QLabel(text, parent);
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return Place(label, name, left, top, width, height, font);
}

}  // namespace

TForm1::TForm1(kova::FormPaths paths, kova::WindowServices* services, QWidget* parent)
    : QWidget(parent),
      paths_(std::move(paths)),
      own_services_(services ? nullptr : std::make_unique<kova::DesktopServices>()),
      services_(services ? services : own_services_.get()),
      converter_(KovaImg1, kova::ConversionSettings{paths_.template_path, paths_.settings_path},
                 paths_.list_directory),
      application_title_(QString::fromStdString(kova::ApplicationTitle(kova::ProgramPath()))) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Tarvo ASCII Grid To Kova image conversion"));
  AddFontSubstitutes();
  setFont(FixedFont("MS Sans Serif", 11));
  QPalette face = palette();
  face.setColor(QPalette::Window, face.color(QPalette::Button));
  setPalette(face);
  setAutoFillBackground(true);
  resize(kClassicClientWidth, kClassicClientHeight);
  CreateControls();
  Guarded([this] { FormCreate(); });
}

TForm1::~TForm1() = default;

void TForm1::CreateControls() {
  const QFont verdana = FixedFont("Verdana", 11);

  Label4 = MakeLabel(this, "Label4", 16, 8, 170, 13, QStringLiteral("Step 1: Get ASCII data from:"),
                     verdana);

  QFont link_font = FixedFont("MS Sans Serif", 13);
  link_font.setUnderline(true);
  Label5 = MakeLabel(this, "Label5", 200, 6, 228, 16, QStringLiteral(KOVA_DOWNLOAD_URL), link_font);
  QPalette navy = Label5->palette();
  navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
  Label5->setPalette(navy);
  Label5->setMouseTracking(true);
  Label5->installEventFilter(this);

  Label1 = MakeLabel(this, "Label1", 16, 32, 145, 13, QStringLiteral("Step 2 : Make Kova image"),
                     verdana);
  Label2 = MakeLabel(this, "Label2", 32, 56, 95, 13, QStringLiteral("Input file (*.asc)"), verdana);
  Edit1 = Place(new QLineEdit(this), "Edit1", 152, 52, 417, 21, verdana);
  Button2 = Place(new QPushButton(QStringLiteral(".."), this), "Button2", 584, 50, 25, 25, verdana);
  Label3 =
      MakeLabel(this, "Label3", 32, 88, 105, 13, QStringLiteral("Output file (*.img)"), verdana);
  Edit2 = Place(new QLineEdit(this), "Edit2", 152, 84, 417, 21, verdana);
  Button3 = Place(new QPushButton(QStringLiteral(".."), this), "Button3", 584, 82, 25, 25, verdana);
  Button1 = Place(new QPushButton(QStringLiteral("Make Kova image"), this), "Button1", 16, 120, 153,
                  25, verdana);
  Label6 = MakeLabel(this, "Label6", 8, 160, 267, 13,
                     QStringLiteral("Wildcards * and ? are allowed in input file box."), verdana);
  Label14 = MakeLabel(this, "Label14", 442, 160, 168, 13,
                      QStringLiteral("Info : " KOVA_CONTACT_EMAIL), verdana);

  // The address and the contact are set by the build and may be longer
  // than the places laid out for them.
  GrowToText(Label5);
  GrowToText(Label14);

  // Never shown: the matching of patterns is done by the conversion run.
  FileListBox1 = new QListWidget(this);
  FileListBox1->setObjectName(QStringLiteral("FileListBox1"));
  FileListBox1->setGeometry(232, 48, 121, 65);
  FileListBox1->setSortingEnabled(true);
  FileListBox1->setVisible(false);

  OpenDialog1 = new QFileDialog(this);
  OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
  OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
  // Also serves the output box, so a name that does not exist yet is fine.
  OpenDialog1->setFileMode(QFileDialog::AnyFile);

  // The preview panel, below everything else; it opens after a run.
  ImagePreview = new QLabel(this);
  ImagePreview->setObjectName(QStringLiteral("ImagePreview"));
  ImagePreview->setGeometry(16, 184, kPreviewWidth, kPreviewHeight);
  ImagePreview->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  ImagePreview->setVisible(false);
  PreviewInfo = MakeLabel(this, "PreviewInfo", 16, 184, kPreviewWidth, 13, QString(), verdana);
  PreviewInfo->setVisible(false);

  for (QPushButton* button : {Button1, Button2, Button3}) button->setAutoDefault(false);

  // Files and folders dropped on the window fill the input box, or the
  // output box when dropped onto it; Enter in either box starts the run.
  setAcceptDrops(true);
  for (QLineEdit* box : {Edit1, Edit2}) {
    box->installEventFilter(this);
    connect(box, &QLineEdit::returnPressed, this, [this] { Guarded([this] { Button1Click(); }); });
  }

  setTabOrder(Button1, Edit1);
  setTabOrder(Edit1, Button2);
  setTabOrder(Button2, Edit2);
  setTabOrder(Edit2, Button3);
  setTabOrder(Button3, FileListBox1);
  Button1->setFocus();

  connect(Button1, &QPushButton::clicked, this, [this] { Guarded([this] { Button1Click(); }); });
  connect(Button2, &QPushButton::clicked, this, [this] { Guarded([this] { Button2Click(); }); });
  connect(Button3, &QPushButton::clicked, this, [this] { Guarded([this] { Button3Click(); }); });
}

template <typename Handler>
void TForm1::Guarded(Handler handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    services_->ShowErrorBox(this, application_title_,
                            QString::fromStdString(kova::ErrorBoxText(error)));
  }
}

void TForm1::FormCreate() {
  // Grid numbers are read with "." whatever the locale, so nothing needs to
  // be switched here.
  Edit1->setText(
      QString::fromStdString(kova::ReadProfileString(paths_.settings_path, "files", "edit1")));
  Edit2->setText(
      QString::fromStdString(kova::ReadProfileString(paths_.settings_path, "files", "edit2")));
}

void TForm1::Button1Click() {
  converter_.Run(Edit1->text().toStdString(), Edit2->text().toStdString());
  if (!converter_.CreatedImages().empty()) {
    ShowPreview(QString::fromStdString(converter_.CreatedImages().back()));
  }
}

void TForm1::ShowPreview(const QString& image_path) {
  const kova::ImageRaster image = kova::ReadImageRaster(image_path.toStdString());
  // The largest size that fits the panel, at most four times the image.
  const int longest = std::max(image.columns(), image.rows());
  const double fit = std::min({static_cast<double>(kPreviewWidth) / image.columns(),
                               static_cast<double>(kPreviewHeight) / image.rows(), 4.0});
  kova::PreviewOptions options;
  options.size = std::max(1, static_cast<int>(longest * fit));
  const kova::RgbaImage picture = kova::RenderPreview(image, options);
  const QImage shown(picture.pixels.data(), picture.width, picture.height, picture.width * 4,
                     QImage::Format_RGBA8888);
  ImagePreview->setPixmap(QPixmap::fromImage(shown.copy()));
  ImagePreview->resize(picture.width, picture.height);

  const kova::ValueRange range = kova::ValueRangeOf(image);
  const QString values =
      range.valid ? QStringLiteral("values %1 to %2")
                        .arg(QString::fromStdString(range.low), QString::fromStdString(range.high))
                  : QStringLiteral("no values");
  PreviewInfo->setText(QStringLiteral("%1: %2 x %3 pixels, %4")
                           .arg(QFileInfo(image_path).fileName())
                           .arg(image.columns())
                           .arg(image.rows())
                           .arg(values));
  PreviewInfo->move(16, ImagePreview->y() + picture.height + 6);
  ImagePreview->setVisible(true);
  PreviewInfo->setVisible(true);
  const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
  resize(width(), kOuterHeight - frame.top() - frame.bottom() + PanelHeight());
}

int TForm1::PanelHeight() const {
  if (ImagePreview->isHidden()) return 0;
  return PreviewInfo->y() + PreviewInfo->height() + 8 - kClassicClientHeight;
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
  if (!kova::LocalPaths(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
  if (DropFiles(Edit1, event->mimeData())) event->acceptProposedAction();
}

bool TForm1::DropFiles(QLineEdit* box, const QMimeData* data) {
  const QStringList paths = kova::LocalPaths(data);
  const auto text = box == Edit2 ? kova::OutputTextForDrop(paths) : kova::InputTextForDrop(paths);
  if (!text) return false;
  box->setText(*text);
  box->setFocus();
  return true;
}

void TForm1::Button2Click() {
  if (const auto name = ChooseFile()) Edit1->setText(*name);
}

void TForm1::Button3Click() {
  if (const auto name = ChooseFile()) Edit2->setText(*name);
}

void TForm1::Label5Click() {
  services_->OpenUrl(QUrl(QStringLiteral(KOVA_DOWNLOAD_URL)));
}

void TForm1::Label5MouseMove() {
  kova::SetApplicationCursor(kova::CursorKind::Hand);
}

void TForm1::Label5MouseLeave() {
  kova::SetApplicationCursor(kova::CursorKind::Default);
}

std::optional<QString> TForm1::ChooseFile() {
  const auto chosen = services_->ExecuteOpenDialog(*OpenDialog1);
  if (!chosen) return std::nullopt;
  const QFileInfo file(*chosen);
  const QString full_name = file.absoluteFilePath();
  OpenDialog1->setDirectory(file.absolutePath());
  OpenDialog1->selectFile(full_name);
  kova::SetCurrentDirectory(file.absolutePath().toStdString());
  return full_name;
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Edit1 || watched == Edit2) {
    auto* box = static_cast<QLineEdit*>(watched);
    switch (event->type()) {
      case QEvent::DragEnter:
      case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (kova::LocalPaths(drag->mimeData()).isEmpty()) break;
        drag->acceptProposedAction();
        return true;
      }
      case QEvent::Drop: {
        // Local files never go into the box as addresses: a drop that
        // gives no usable name is ignored.
        auto* drop = static_cast<QDropEvent*>(event);
        if (kova::LocalPaths(drop->mimeData()).isEmpty()) break;
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
        Guarded([this] { Label5MouseMove(); });
        break;
      case QEvent::Leave:
        Guarded([this] { Label5MouseLeave(); });
        break;
      case QEvent::MouseButtonRelease: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton &&
            Label5->rect().contains(mouse->position().toPoint())) {
          Guarded([this] { Label5Click(); });
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
  resize(kOuterWidth - frame.left() - frame.right(),
         kOuterHeight - frame.top() - frame.bottom() + PanelHeight());
  const QScreen* display = screen();
  if (display == nullptr) return;
  const QRect area = display->geometry();
  move(area.x() + (area.width() - kOuterWidth) / 2, area.y() + (area.height() - kOuterHeight) / 2);
}

// Unit1: the main window TForm1 of the conversion tool. It asks for an input
// grid file (or a wildcard pattern) and an output image file, offers a browse
// button for each, runs the conversion with "Make Kova image" and links to
// the download page of the grid provider.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>

#include "app/conversion.h"
#include "image/kova_img.h"

class QFileDialog;
class QLabel;
class QDragEnterEvent;
class QDropEvent;
class QLineEdit;
class QMimeData;
class QListWidget;
class QPushButton;
class QUrl;

namespace kova {

// What the window asks of the desktop. The window program uses the real
// dialogs and the browser; tests replace them to choose files, record
// opened addresses and capture error boxes without anything modal.
class WindowServices {
 public:
  virtual ~WindowServices() = default;
  // Runs the open dialog; the full name of the chosen file, or nothing when
  // the user cancels.
  virtual std::optional<QString> ExecuteOpenDialog(QFileDialog& dialog) = 0;
  // Opens a web address in the user's browser; false when that failed.
  virtual bool OpenUrl(const QUrl& url) = 0;
  // The application's error box.
  virtual void ShowErrorBox(QWidget* owner, const QString& caption, const QString& text) = 0;
};

class DesktopServices : public WindowServices {
 public:
  std::optional<QString> ExecuteOpenDialog(QFileDialog& dialog) override;
  bool OpenUrl(const QUrl& url) override;
  void ShowErrorBox(QWidget* owner, const QString& caption, const QString& text) override;
};

// The files the window works with.
struct FormPaths {
  std::string settings_path;   // section "files", keys "edit1" and "edit2"
  std::string template_path;   // template.img beside the program
  std::string list_directory;  // where patterns without a directory are matched

  // The paths of the running program: its settings file, the template in
  // its folder and the current directory.
  static FormPaths FromProcess();
};

// The input box text for local files and folders dropped on the window: one
// file as it is; a folder as the pattern of its grid files (FOLDER/*.asc);
// several files of one folder as that folder's pattern. Nothing when no
// path is usable (files of several folders: the first file's folder).
std::optional<QString> InputTextForDrop(const QStringList& paths);

// The output box text for a drop: the first path that is not a folder.
std::optional<QString> OutputTextForDrop(const QStringList& paths);

}  // namespace kova

class TForm1 : public QWidget {
  Q_OBJECT

 public:
  // `services` is not owned; nullptr uses the desktop's own.
  explicit TForm1(kova::FormPaths paths = kova::FormPaths::FromProcess(),
                  kova::WindowServices* services = nullptr, QWidget* parent = nullptr);
  ~TForm1() override;

  // The window's fixed geometry: outer size and client size on the classic
  // frame that the positions of the controls were laid out for.
  static constexpr int kOuterWidth = 630;
  static constexpr int kOuterHeight = 207;

  // Controls.
  QLabel* Label4;
  QLabel* Label5;
  QLabel* Label1;
  QLabel* Label2;
  QLineEdit* Edit1;
  QPushButton* Button2;
  QLabel* Label3;
  QLineEdit* Edit2;
  QPushButton* Button3;
  QPushButton* Button1;
  QLabel* Label6;
  QLabel* Label14;
  QListWidget* FileListBox1;
  QFileDialog* OpenDialog1;
  // The preview panel below the controls, opened after a run that created
  // images: the last image and a line with its name, size and value range.
  QLabel* ImagePreview;
  QLabel* PreviewInfo;

  // The room the preview picture may take in the panel.
  static constexpr int kPreviewWidth = 590;
  static constexpr int kPreviewHeight = 240;

  // Image components; the conversion works through KovaImg1 only.
  kova::TKovaImg KovaImg1;
  kova::TKovaImg KovaImg2;

  const kova::Converter& Converter() const noexcept { return converter_; }
  const QString& ApplicationTitle() const noexcept { return application_title_; }

  // Handlers.
  void FormCreate();
  void Button1Click();
  void Button2Click();
  void Button3Click();
  void Label5Click();
  void Label5MouseMove();
  void Label5MouseLeave();
  // Shows the image in the preview panel, opening the panel.
  void ShowPreview(const QString& image_path);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void CreateControls();
  // Runs a handler; an error that leaves it goes to the application's error
  // box, and the window carries on.
  template <typename Handler>
  void Guarded(Handler handler);
  // Shows OpenDialog1; the chosen file's full name, which the dialog then
  // offers next time and whose folder becomes the current directory.
  std::optional<QString> ChooseFile();
  // Sets the outer size to 630 x 207 on whatever frame the window got, and
  // centres the window on its screen.
  void FitAndCentre();
  // The height the open preview panel adds below the controls (0: closed).
  int PanelHeight() const;
  // A drop of local files onto `box`; false when it carried none.
  bool DropFiles(QLineEdit* box, const QMimeData* data);

  kova::FormPaths paths_;
  std::unique_ptr<kova::DesktopServices> own_services_;
  kova::WindowServices* services_;
  kova::Converter converter_;
  QString application_title_;
  bool fitted_ = false;
};

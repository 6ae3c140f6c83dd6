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
#include "app/window/form_logic.h"
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

}  // namespace kova

class TForm1 : public QWidget, private kova::FormView {
  Q_OBJECT

 public:
  // `services` is not owned; nullptr uses the desktop's own.
  explicit TForm1(kova::FormPaths paths = kova::FormPaths::FromProcess(),
                  kova::WindowServices* services = nullptr, QWidget* parent = nullptr);
  ~TForm1() override;

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

  // Image components; the conversion works through KovaImg1 only.
  kova::TKovaImg KovaImg1;
  kova::TKovaImg KovaImg2;

  const kova::Converter& Converter() const noexcept { return logic_.Converter(); }
  QString ApplicationTitle() const { return QString::fromStdString(logic_.ApplicationTitle()); }

  // Handlers, as the window's logic does them.
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
  // Sets the outer size to 630 x 207 on whatever frame the window got, and
  // centres the window on its screen.
  void FitAndCentre();
  // The height the open preview panel adds below the controls (0: closed).
  int PanelHeight() const;
  // A drop of local files onto `box`; false when it carried none.
  bool DropFiles(QLineEdit* box, const QMimeData* data);

  // What the logic asks of the window.
  std::string BoxText(Box box) const override;
  void SetBoxText(Box box, const std::string& text) override;
  void FocusBox(Box box) override;
  std::optional<std::string> ChooseFile(const std::string& offered) override;
  void OpenAddress(const std::string& address) override;
  void ShowErrorBox(const std::string& caption, const std::string& text) override;
  void SetCursor(kova::CursorKind cursor) override;
  void ShowPreview(const kova::FormPreview& preview) override;
  QLineEdit* BoxOf(Box box) const { return box == Box::Input ? Edit1 : Edit2; }

  std::unique_ptr<kova::DesktopServices> own_services_;
  kova::WindowServices* services_;
  kova::FormLogic logic_;
  bool fitted_ = false;
};

// The Qt window TForm1 under the window scenarios (test_window.cpp), driven
// through QTest's mouse and keys on the offscreen platform, and what only the
// Qt window has: its object names, the dialog and its filters, the palette,
// the browser's answer, the run under a comma locale.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QUrl>
#include <array>
#include <clocale>

#include "app/pipeline/converter.h"
#include "app/window/qt_ui.h"
#include "app/window/unit1.h"
#include "support/window_driver.h"

namespace kova::testing {
namespace {

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

Place PlaceOfRect(const QRect& rect) {
  return {rect.x(), rect.y(), rect.width(), rect.height()};
}

class QtWindow : public WindowDriver, private WindowServices {
 public:
  QtWindow(const FormPaths& paths, RecordingUi& ui)
      : ui_(ui), form(paths, this), controls_{form.Label4,      form.Label5, form.Label1,
                                              form.Label2,      form.Edit1,  form.Button2,
                                              form.Label3,      form.Edit2,  form.Button3,
                                              form.Button1,     form.Label6, form.Label14,
                                              form.FileListBox1} {}
  ~QtWindow() override { SetApplicationCursor(CursorKind::Default); }

  void Show() override {
    form.show();
    QApplication::setActiveWindow(&form);
    EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
    QApplication::processEvents();  // the window fits its frame once shown
  }
  std::string Caption() const override { return form.windowTitle().toStdString(); }
  Place Frame() const override { return PlaceOfRect(form.frameGeometry()); }
  Place Screen() const override { return PlaceOfRect(form.screen()->geometry()); }
  void Resize(int width, int height) override {
    form.resize(width, height);
    QApplication::processEvents();
  }

  ControlKind Kind(FormControl control) const override {
    QWidget* widget = Widget(control);
    if (qobject_cast<QLineEdit*>(widget)) return ControlKind::Edit;
    if (qobject_cast<QPushButton*>(widget)) return ControlKind::Button;
    if (qobject_cast<QListWidget*>(widget)) return ControlKind::FileList;
    // A link is a label that follows the mouse.
    return widget->hasMouseTracking() ? ControlKind::Link : ControlKind::Label;
  }
  Place PlaceOf(FormControl control) const override {
    return PlaceOfRect(Widget(control)->geometry());
  }
  std::string Text(FormControl control) const override { return TextOf(Widget(control)); }
  FontSeen Font(FormControl control) const override {
    const QFont font = Widget(control)->font();
    return {font.family().toStdString(), font.pixelSize(), font.underline()};
  }
  bool Visible(FormControl control) const override { return Widget(control)->isVisibleTo(&form); }
  int TextWidth(FormControl control) const override {
    return Widget(control)->fontMetrics().horizontalAdvance(Q(Text(control)));
  }
  std::optional<FormControl> Focused() const override {
    for (std::size_t i = 0; i < controls_.size(); ++i) {
      if (controls_[i] == QApplication::focusWidget()) return static_cast<FormControl>(i);
    }
    return std::nullopt;
  }
  void Tab(FormControl from) override {
    Widget(from)->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(QApplication::focusWidget(), Widget(from));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }

  std::string BoxText(Box box) const override { return BoxOf(box)->text().toStdString(); }
  void SetBoxText(Box box, const std::string& text) override { BoxOf(box)->setText(Q(text)); }
  void Click(FormControl button) override { QTest::mouseClick(Widget(button), Qt::LeftButton); }
  void Enter(Box box) override {
    BoxOf(box)->setFocus();
    QTest::keyClick(BoxOf(box), Qt::Key_Return);
  }
  void Drop(Target target, const std::vector<std::string>& paths) override {
    QMimeData data;
    QList<QUrl> urls;
    for (const std::string& path : paths) urls << QUrl::fromLocalFile(Q(path));
    data.setUrls(urls);
    QWidget* widget = target == Target::Window
                          ? static_cast<QWidget*>(&form)
                          : BoxOf(target == Target::Input ? Box::Input : Box::Output);
    // As a drag does it: the widget is entered, then dropped on.
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &drop);
  }
  void MoveOverLink() override {
    QTest::mouseMove(form.Label5, QPoint(20 + 20 * (link_moves_++ % 2), 8));
  }
  void LeaveLink() override { QTest::mouseMove(form.Edit1, QPoint(30, 10)); }
  void ClickLink() override { QTest::mouseClick(form.Label5, Qt::LeftButton, {}, QPoint(20, 8)); }
  CursorKind Cursor() override {
    QTest::qWait(100);  // the platform delivers entering and leaving in turn
    const QCursor* cursor = QGuiApplication::overrideCursor();
    if (cursor == nullptr) return CursorKind::Default;
    return cursor->shape() == Qt::PointingHandCursor ? CursorKind::Hand : CursorKind::Busy;
  }

  // Every message box but the application's error box goes through the Ui.
  std::vector<ShownMessage> ErrorBoxes() const override { return error_boxes_; }
  std::vector<ShownMessage> Messages() const override { return ui_.messages; }

  bool PreviewShown() const override {
    return !form.ImagePreview->isHidden() && !form.PreviewInfo->isHidden();
  }
  std::string PreviewInfo() const override { return form.PreviewInfo->text().toStdString(); }
  Place PreviewInfoPlace() const override { return PlaceOfRect(form.PreviewInfo->geometry()); }
  std::pair<int, int> PreviewSize() const override {
    const QSize size = form.ImagePreview->pixmap().size();
    return {size.width(), size.height()};
  }
  std::optional<std::uint32_t> PreviewPixel(int x, int y) const override {
    const QRgb pixel = form.ImagePreview->pixmap().toImage().pixel(x, y);
    if (qAlpha(pixel) == 0) return std::nullopt;
    EXPECT_EQ(qAlpha(pixel), 255) << x << ", " << y;
    return pixel & 0xFFFFFFu;
  }
  const kova::Converter& Converter() const override { return form.Converter(); }

  bool open_result = true;  // the browser opened the address
  RecordingUi& ui_;
  std::vector<ShownMessage> error_boxes_;  // before the window, which may show one at once
  TForm1 form;

 private:
  std::optional<QString> ExecuteOpenDialog(QFileDialog& dialog) override {
    // A dialog that opens on a folder alone was offered no name.
    const QString selected = dialog.selectedFiles().value(0);
    offered.push_back(QFileInfo(selected).isDir() ? "" : selected.toStdString());
    if (answers.empty()) return std::nullopt;
    const std::optional<std::string> answer = answers.front();
    answers.pop_front();
    if (!answer) return std::nullopt;
    return Q(*answer);
  }
  bool OpenUrl(const QUrl& url) override {
    opened.push_back(url.toString().toStdString());
    return open_result;
  }
  void ShowErrorBox(QWidget*, const QString& caption, const QString& text) override {
    error_boxes_.push_back({MessageKind::Error, caption.toStdString(), text.toStdString()});
  }

  QWidget* Widget(FormControl control) const {
    return controls_[static_cast<std::size_t>(control)];
  }
  QLineEdit* BoxOf(Box box) const { return box == Box::Input ? form.Edit1 : form.Edit2; }
  static std::string TextOf(QWidget* widget) {
    if (auto* label = qobject_cast<QLabel*>(widget)) return label->text().toStdString();
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) return edit->text().toStdString();
    if (auto* button = qobject_cast<QPushButton*>(widget)) return button->text().toStdString();
    return "";
  }

  std::array<QWidget*, kFormControlCount> controls_;
  int link_moves_ = 0;
};

}  // namespace

std::unique_ptr<WindowDriver> MakeWindow(const FormPaths& paths, RecordingUi& ui) {
  return std::make_unique<QtWindow>(paths, ui);
}

namespace {

class QtWindowTest : public WindowTest {
 protected:
  QtWindow& Form() {
    if (!window_) window_ = std::make_unique<QtWindow>(Paths(), ui_);
    return *window_;
  }
  std::unique_ptr<QtWindow> window_;
};

TEST_F(QtWindowTest, NamesItsObjectsAndOpensItsDialogForAnyName) {
  TForm1& form = Form().form;
  Form().Show();
  EXPECT_EQ(form.objectName(), "Form1");
  const std::vector<std::pair<QWidget*, const char*>> members{{form.Label4, "Label4"},
                                                              {form.Label5, "Label5"},
                                                              {form.Label1, "Label1"},
                                                              {form.Label2, "Label2"},
                                                              {form.Edit1, "Edit1"},
                                                              {form.Button2, "Button2"},
                                                              {form.Label3, "Label3"},
                                                              {form.Edit2, "Edit2"},
                                                              {form.Button3, "Button3"},
                                                              {form.Button1, "Button1"},
                                                              {form.Label6, "Label6"},
                                                              {form.Label14, "Label14"},
                                                              {form.FileListBox1, "FileListBox1"}};
  for (const auto& [member, name] : members) {
    EXPECT_EQ(form.findChild<QWidget*>(name), member) << name;
  }
  EXPECT_EQ(form.font().family(), "MS Sans Serif");
  EXPECT_EQ(form.font().pixelSize(), 11);
  EXPECT_EQ(form.Label5->palette().color(QPalette::WindowText), QColor(0, 0, 128));
  EXPECT_EQ(form.OpenDialog1->objectName(), "OpenDialog1");
  EXPECT_EQ(form.OpenDialog1->fileMode(), QFileDialog::AnyFile);
  EXPECT_EQ(form.OpenDialog1->acceptMode(), QFileDialog::AcceptOpen);
  // All files first: the dialog also serves the output box.
  EXPECT_EQ(form.OpenDialog1->nameFilters(),
            QStringList({"All files (*)", "Tarvo ASCII grids (*.asc)",
                         "GeoTIFF files (*.tif *.tiff)", "NetCDF files (*.nc *.nc4 *.cdf)"}));
  EXPECT_EQ(form.KovaImg1.Status(), std::uint8_t{0});
  EXPECT_EQ(form.Converter().ListDirectory(), folder_);
}

TEST_F(QtWindowTest, ABrowserThatFailsToOpenShowsNothing) {
  Form().open_result = false;
  Form().ClickLink();
  EXPECT_EQ(Form().opened, std::vector<std::string>{KOVA_DOWNLOAD_URL});
  EXPECT_TRUE(Form().ErrorBoxes().empty());
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(QtWindowTest, ACommaLocaleGivesTheSameImage) {
  const std::string grid = File("grid.asc");
  WriteText(grid, kWindowGrid);
  const std::string template_path = Paths().template_path;
  ASSERT_TRUE(std::filesystem::exists(FileSystemPath(template_path)));

  // Outside the window, in the C locale.
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  ASSERT_TRUE(std::setlocale(LC_ALL, "C"));
  {
    TKovaImg image;
    kova::Converter converter(image, {template_path, std::nullopt}, folder_);
    converter.Run(grid, File("outside.img"));
  }

  // In the window, under a locale whose decimal separator is a comma.
  ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr)
      << "the locale de_DE.UTF-8 is not available; generate it with locale-gen";
  EXPECT_STREQ(std::localeconv()->decimal_point, ",");
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  WindowTest::Run(Form(), grid, File("inside.img"));
  EXPECT_TRUE(Form().ErrorBoxes().empty());
  EXPECT_STREQ(std::localeconv()->decimal_point, ",");  // nothing switched it back
  std::setlocale(LC_ALL, previous.c_str());
  QLocale::setDefault(QLocale::c());

  const std::vector<std::uint8_t> outside = ReadAllBytes(File("outside.img"));
  EXPECT_EQ(outside.size(), kWindowGridImageSize);
  EXPECT_EQ(ReadAllBytes(File("inside.img")), outside);
}

}  // namespace
}  // namespace kova::testing

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Headless unless told otherwise, at 96 dots per inch.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication::setAttribute(Qt::AA_Use96Dpi, true);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}

// What the main window TForm1 does, without drawing it: the layout and texts
// of its controls, its handlers, what a drop puts into a box, the run that
// converts every input kind, and the preview of its last image. The Qt window
// and the native Win32 window both show a FormView over one FormLogic, so a
// handler behaves the same in both; only the drawing differs.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "app/features/preview.h"
#include "app/pipeline/converter.h"
#include "host/ui.h"
#include "image/kova_img.h"

namespace kova {

// --- Layout and texts ----------------------------------------------------------

inline constexpr const char* kFormCaption = "Tarvo ASCII Grid To Kova image conversion";
inline constexpr const char* kDownloadAddress = KOVA_DOWNLOAD_URL;

// The window's outer size, in pixels at 96 dots per inch.
inline constexpr int kFormOuterWidth = 630;
inline constexpr int kFormOuterHeight = 207;
// The client size of the classic frame (4-pixel borders, 19-pixel caption)
// for that outer size, which the controls were laid out in.
inline constexpr int kFormClientWidth = 622;
inline constexpr int kFormClientHeight = 180;

enum class ControlKind { Label, Link, Edit, Button, FileList };

enum class ControlFont {
  Verdana,  // Verdana, 11 pixels
  Link,     // MS Sans Serif, 13 pixels, navy, underlined
  None,     // the window's own (MS Sans Serif, 11 pixels)
};

// The controls, in the order of this enumeration in kFormControls.
enum class FormControl {
  Label4,
  Label5,
  Label1,
  Label2,
  Edit1,
  Button2,
  Label3,
  Edit2,
  Button3,
  Button1,
  Label6,
  Label14,
  FileListBox1,
};
inline constexpr std::size_t kFormControlCount = 13;

struct ControlLayout {
  const char* name;
  ControlKind kind;
  int left, top, width, height;
  const char* text;
  ControlFont font;
  int tab_order;  // -1: not a tab stop
};

extern const std::array<ControlLayout, kFormControlCount> kFormControls;

constexpr const ControlLayout& LayoutOf(FormControl control) {
  return kFormControls[static_cast<std::size_t>(control)];
}

// The kinds the open dialog offers, "All files" first (so the dialog opens
// unfiltered, as it also serves the output box): a name and its masks.
struct FileFilter {
  const char* name;
  const char* masks;  // separated by ";"
};
inline constexpr std::array<FileFilter, 4> kOpenDialogFilters{{
    {"All files (*.*)", "*.*"},
    {"Tarvo ASCII grids (*.asc)", "*.asc"},
    {"GeoTIFF files (*.tif, *.tiff)", "*.tif;*.tiff"},
    {"NetCDF files (*.nc, *.nc4, *.cdf)", "*.nc;*.nc4;*.cdf"},
}};

// The room the preview picture may take in the panel below the controls, and
// where the panel begins.
inline constexpr int kPreviewLeft = 16;
inline constexpr int kPreviewTop = 184;
inline constexpr int kPreviewWidth = 590;
inline constexpr int kPreviewHeight = 240;

// --- The files the window works with -------------------------------------------

struct FormPaths {
  std::string settings_path;   // section "files", keys "edit1" and "edit2"
  std::string template_path;   // template.img beside the program
  std::string list_directory;  // where patterns without a directory are matched

  // The paths of the running program: its settings file, the template in
  // its folder and the current directory.
  static FormPaths FromProcess();
};

// The application title made from the program's path: the file name up to
// its first ".", first character as it is, every following ASCII letter in
// lower case ("/usr/bin/tarvo2kova" gives "Tarvo2kova").
std::string ApplicationTitle(const std::string& program_path);

// --- Drops --------------------------------------------------------------------

// The input box text for files and folders dropped on the window: one file
// as it is; a folder as the pattern of its input files (FOLDER/*.asc, or the
// masks of the GeoTIFF and NetCDF kinds it holds instead); several files as
// the pattern of their folder with the masks of their extensions. Nothing
// when no path is given. Full names, whatever the drop gave.
std::optional<std::string> InputTextForDrop(const std::vector<std::string>& paths);

// The output box text for a drop: the first path that is not a folder.
std::optional<std::string> OutputTextForDrop(const std::vector<std::string>& paths);

// --- The preview after a run ----------------------------------------------------

struct FormPreview {
  RgbaImage picture;  // at most kPreviewWidth x kPreviewHeight, at most 4 x the image
  std::string info;   // "NAME: C x R pixels, values LOW to HIGH"
};

// The preview of the image at `image_path`. Raises the reader's errors.
FormPreview PreviewOf(const std::string& image_path);

// --- The window ---------------------------------------------------------------

// What the handlers ask of the window that draws them.
class FormView {
 public:
  enum class Box { Input, Output };  // Edit1, Edit2

  virtual ~FormView() = default;
  virtual std::string BoxText(Box box) const = 0;
  virtual void SetBoxText(Box box, const std::string& text) = 0;
  // Gives the keyboard focus to a box (after a drop into it).
  virtual void FocusBox(Box box) = 0;
  // Runs OpenDialog1 opening on `offered` (empty: nothing chosen yet); the
  // name the user confirmed, or nothing when cancelled.
  virtual std::optional<std::string> ChooseFile(const std::string& offered) = 0;
  // The shell's "open" on a web address; a failure shows nothing.
  virtual void OpenAddress(const std::string& address) = 0;
  // The application's error box: error symbol, `caption`, one "OK" button.
  virtual void ShowErrorBox(const std::string& caption, const std::string& text) = 0;
  // The cursor of the whole application.
  virtual void SetCursor(CursorKind cursor) = 0;
  // Opens the preview panel below the controls with `preview`.
  virtual void ShowPreview(const FormPreview& preview) = 0;
};

class FormLogic {
 public:
  // `view` and `image` (the window's KovaImg1) are not owned.
  FormLogic(FormView& view, TKovaImg& image, FormPaths paths, std::string application_title);

  // The handlers; errors leave them as exceptions (see Guarded).
  void FormCreate();
  void Button1Click();
  void Button2Click();
  void Button3Click();
  void Label5Click();
  void Label5MouseMove();
  void Label5MouseLeave();

  // Runs a handler; an error that leaves it goes to the application's error
  // box, captioned with the application title, and the window carries on.
  void Guarded(void (FormLogic::*handler)());

  // Files dropped on a box (or on the window: the input box); false when the
  // drop gave no usable name and the box was left as it was.
  bool Drop(FormView::Box box, const std::vector<std::string>& paths);

  const kova::Converter& Converter() const noexcept { return converter_; }
  const FormPaths& Paths() const noexcept { return paths_; }
  const std::string& ApplicationTitle() const noexcept { return application_title_; }
  // The name OpenDialog1 opens on next: the last one chosen, from either button.
  const std::string& DialogName() const noexcept { return dialog_name_; }

 private:
  // Shows OpenDialog1 and, when the user confirms, puts the chosen file's
  // full name into `box` and makes its folder the current directory.
  void Browse(FormView::Box box);

  FormView& view_;
  FormPaths paths_;
  kova::Converter converter_;
  std::string application_title_;
  std::string dialog_name_;
};

}  // namespace kova

// The desktop's Qt platform, icon theme and window icon. Qt types stay in
// this file.
#include "platform/ui/desktop.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QStandardPaths>
#include <QStringList>
#include <cstdlib>
#include <cstring>

#include "platform/gdi/colors.h"

std::string QtPlatformFor(const char* QtPlatform, const char* Display) {
  if (QtPlatform && *QtPlatform) return {};
  if (Display && *Display) return "xcb";
  return {};
}

void ChooseQtPlatform() {
  const std::string platform = QtPlatformFor(std::getenv("QT_QPA_PLATFORM"), std::getenv("DISPLAY"));
  if (!platform.empty()) ::setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
}

namespace {

// The icon folders of the XDG base directories: the user's data folder,
// then each folder of XDG_DATA_DIRS (by default /usr/local/share and
// /usr/share).
QStringList XdgIconFolders() {
  QStringList folders;
  const char* home = std::getenv("XDG_DATA_HOME");
  if (home && *home) folders << QString::fromLocal8Bit(home) + "/icons";
  else if (const char* h = std::getenv("HOME"); h && *h) folders << QString::fromLocal8Bit(h) + "/.local/share/icons";
  const char* dirs = std::getenv("XDG_DATA_DIRS");
  const QString list = dirs && *dirs ? QString::fromLocal8Bit(dirs) : QStringLiteral("/usr/local/share:/usr/share");
  for (const QString& d : list.split(':', Qt::SkipEmptyParts)) folders << d + "/icons";
  return folders;
}

// A desktop that sets no theme leaves Qt on "hicolor" (or nothing), which
// holds no action icons: the fallback theme stands in for it then. Without
// a desktop platform (offscreen) Qt knows no icon folders: the XDG ones are
// added.
void EnsureTheme() {
  static bool done = false;
  if (done || !QApplication::instance()) return;
  done = true;
  QStringList paths = QIcon::themeSearchPaths();
  for (const QString& f : XdgIconFolders())
    if (!paths.contains(f)) paths << f;
  QIcon::setThemeSearchPaths(paths);
  QIcon::setFallbackThemeName(QString::fromLatin1(FallbackIconTheme));
  const QString theme = QIcon::themeName();
  if (theme.isEmpty() || theme == QLatin1String("hicolor")) QIcon::setThemeName(QString::fromLatin1(FallbackIconTheme));
}

// Copies Icon at Size x Size onto Background into Bitmap.
bool Render(const QIcon& Icon, int32_t Size, TColor Background, TBitmap* Bitmap) {
  if (Icon.isNull() || Size <= 0 || !Bitmap) return false;
  QImage image = Icon.pixmap(QSize(Size, Size)).toImage();
  if (image.isNull()) return false;
  if (image.width() != Size || image.height() != Size)
    image = image.scaled(Size, Size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  image = image.convertToFormat(QImage::Format_ARGB32);
  const TColor bg = ColorToRGB(Background);
  const int32_t bgR = GetRValue(bg), bgG = GetGValue(bg), bgB = GetBValue(bg);
  Bitmap->SetPixelFormat(pf24bit);
  Bitmap->SetSize(Size, Size);
  // A smaller picture (an icon not square) sits in the middle.
  const int32_t ox = (Size - image.width()) / 2, oy = (Size - image.height()) / 2;
  for (int32_t y = 0; y < Size; ++y) {
    auto* row = static_cast<uint8_t*>(Bitmap->ScanLine(y));
    for (int32_t x = 0; x < Size; ++x) {
      int32_t r = bgR, g = bgG, b = bgB;
      const int32_t ix = x - ox, iy = y - oy;
      if (ix >= 0 && iy >= 0 && ix < image.width() && iy < image.height()) {
        const QRgb p = image.pixel(ix, iy);
        const int32_t a = qAlpha(p);
        if (a >= 128) {
          r = (qRed(p) * a + bgR * (255 - a) + 127) / 255;
          g = (qGreen(p) * a + bgG * (255 - a) + 127) / 255;
          b = (qBlue(p) * a + bgB * (255 - a) + 127) / 255;
        }
      }
      row[x * 3] = static_cast<uint8_t>(b);
      row[x * 3 + 1] = static_cast<uint8_t>(g);
      row[x * 3 + 2] = static_cast<uint8_t>(r);
    }
  }
  return true;
}

}  // namespace

std::string IconThemeName() {
  EnsureTheme();
  return QIcon::themeName().toStdString();
}

bool HasThemeIcon(const std::string& Name) {
  EnsureTheme();
  return !Name.empty() && QIcon::hasThemeIcon(QString::fromStdString(Name));
}

bool DrawThemeIcon(const std::string& Name, int32_t Size, TColor Background, TBitmap* Bitmap) {
  if (!HasThemeIcon(Name)) return false;
  return Render(QIcon::fromTheme(QString::fromStdString(Name)), Size, Background, Bitmap);
}

bool DrawIconFile(const std::string& FileName, int32_t Size, TColor Background, TBitmap* Bitmap) {
  if (!QApplication::instance()) return false;
  QIcon icon(QString::fromStdString(FileName));
  if (icon.availableSizes().isEmpty() && QImage(QString::fromStdString(FileName)).isNull()) return false;
  return Render(icon, Size, Background, Bitmap);
}

void SetApplicationIcon(const std::vector<std::string>& FileNames) {
  if (!QApplication::instance()) return;
  QIcon icon;
  for (const std::string& f : FileNames) {
    QPixmap p(QString::fromStdString(f));
    if (!p.isNull()) icon.addPixmap(p);
  }
  if (!icon.isNull()) QApplication::setWindowIcon(icon);
}

std::string PicturesFolder() {
  const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
  if (!pictures.isEmpty() && QDir(pictures).exists()) return pictures.toStdString();
  return QDir::homePath().toStdString();
}

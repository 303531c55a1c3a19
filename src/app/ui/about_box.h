#pragma once

// The About box: product name, version, a link to the maker's web site, the
// year, and the credits naming the libraries the program is built on, each
// with a link. Links open in the user's browser through the shell
// (GetShell()); a browser that cannot be started is an error box. Main
// thread only.

#include <QDialog>
#include <QString>

class QLabel;
class QTextBrowser;
class QUrl;

namespace tagsmith {

class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  // `siteUrl`: the maker's web site, shown as the link line.
  explicit TAboutBox(const QString& siteUrl, QWidget* parent = nullptr);

  // "Version: 1.1.0.0" for kProgramVersion.
  static QString VersionText();
  // The year the box names.
  static int Year();

  struct Library {
    const char* name;
    const char* url;
    const char* use;  // what the program uses it for
  };
  // The libraries the credits name, in the order shown.
  static const Library* Libraries(int* count);

 private:
  void OpenLink(const QUrl& url);
};

}  // namespace tagsmith

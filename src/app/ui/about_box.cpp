#include "app/ui/about_box.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "app/ui/application_errors.h"
#include "platform/shell.h"
#include "platform/version.h"

namespace tagsmith {
namespace {

// The year of this release.
constexpr int kReleaseYear = 2026;

const TAboutBox::Library kLibraries[] = {
    {"Qt", "https://www.qt.io/", "the user interface"},
    {"libxml2", "https://gitlab.gnome.org/GNOME/libxml2", "language files and XML replies"},
    {"SQLite", "https://www.sqlite.org/", "the settings store"},
    {"libcurl", "https://curl.se/libcurl/", "uploads, updates and banners"},
    {"OpenSSL", "https://www.openssl.org/", "secure connections"},
    {"libpng", "http://www.libpng.org/pub/png/libpng.html", "PNG pictures"},
    {"libjpeg-turbo", "https://libjpeg-turbo.org/", "JPEG pictures"},
    {"zlib", "https://zlib.net/", "compressed data and ZIP archives"},
    {"GIFLIB", "https://giflib.sourceforge.net/", "GIF pictures"},
    {"libwmf", "https://wvware.sourceforge.net/libwmf.html", "Windows metafile pictures"},
    {"libvips", "https://www.libvips.org/", "scaling of rendered pictures"},
    {"GoogleTest", "https://github.com/google/googletest", "the program's tests"},
    {"Google Benchmark", "https://github.com/google/benchmark", "the program's speed measurements"},
};

QString CreditsHtml() {
  QString html = QStringLiteral("<p>%1</p><ul>").arg(TAboutBox::tr("Tagsmith is built on these libraries:").toHtmlEscaped());
  for (const TAboutBox::Library& l : kLibraries)
    html += QStringLiteral("<li><a href=\"%1\">%2</a>: %3</li>")
                .arg(QString::fromLatin1(l.url).toHtmlEscaped(), QString::fromLatin1(l.name).toHtmlEscaped(),
                     TAboutBox::tr(l.use).toHtmlEscaped());
  html += QStringLiteral("</ul><p>%1</p>")
              .arg(TAboutBox::tr("Thanks to their authors and contributors.").toHtmlEscaped());
  return html;
}

}  // namespace

QString TAboutBox::VersionText() {
  const TVer& v = kProgramVersion;
  return tr("Version: %1.%2.%3.%4").arg(v.Ver1).arg(v.Ver2).arg(v.Ver3).arg(v.Ver4);
}

int TAboutBox::Year() { return kReleaseYear; }

const TAboutBox::Library* TAboutBox::Libraries(int* count) {
  *count = static_cast<int>(std::size(kLibraries));
  return kLibraries;
}

TAboutBox::TAboutBox(const QString& siteUrl, QWidget* parent) : QDialog(parent) {
  setObjectName("AboutBox");
  setWindowTitle(tr("About Tagsmith"));
  setAccessibleName(windowTitle());

  auto* product = new QLabel(QStringLiteral("Tagsmith"), this);
  product->setObjectName("lblProductName");
  QFont big = product->font();
  big.setPointSizeF(big.pointSizeF() * 1.6);
  big.setBold(true);
  product->setFont(big);
  product->setAccessibleName(product->text());

  auto* version = new QLabel(VersionText(), this);
  version->setObjectName("lblVersion");
  version->setAccessibleName(version->text());

  auto* site = new QLabel(this);
  site->setObjectName("lblSite");
  site->setText(QStringLiteral("<a href=\"%1\">%2</a>").arg(siteUrl.toHtmlEscaped(), siteUrl.toHtmlEscaped()));
  site->setTextFormat(Qt::RichText);
  site->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  site->setOpenExternalLinks(false);
  site->setAccessibleName(tr("Web site: %1").arg(siteUrl));
  site->setCursor(Qt::PointingHandCursor);
  connect(site, &QLabel::linkActivated, this, [this](const QString& link) { OpenLink(QUrl(link)); });

  auto* year = new QLabel(tr("Copyright © %1 Quorindo").arg(Year()), this);
  year->setObjectName("lblYear");
  year->setAccessibleName(year->text());

  auto* credits = new QTextBrowser(this);
  credits->setObjectName("memCredits");
  credits->setAccessibleName(tr("Credits"));
  credits->setReadOnly(true);
  credits->setOpenLinks(false);
  credits->setHtml(CreditsHtml());
  connect(credits, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) { OpenLink(url); });

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  buttons->setObjectName("btnsAbout");
  QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
  ok->setObjectName("btnOk");
  ok->setAccessibleName(tr("OK"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(product);
  layout->addWidget(version);
  layout->addWidget(site);
  layout->addWidget(year);
  layout->addSpacing(6);
  layout->addWidget(credits, 1);
  layout->addWidget(buttons);
  resize(440, 420);
}

void TAboutBox::OpenLink(const QUrl& url) {
  // Only web addresses: the credits are our own text, but a link never
  // becomes a program or file started by accident.
  if (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https")) return;
  RunGuarded(this, [&] { GetShell().OpenDocument(url.toString().toStdString()); });
}

}  // namespace tagsmith

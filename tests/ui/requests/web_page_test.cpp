// What one opening of the request window leaves for the next: nothing.
#include <gtest/gtest.h>

#include <QWebEnginePage>
#include <QWebEngineView>

#include <optional>

#include "ui/requests/web_env.h"
#include "ui/requests/web_istek.h"

namespace ornivox::webtest {
namespace {

using ui::TfrmWebIstek;

QWebEnginePage* pageOf(const TfrmWebIstek& window) {
  auto* view = qobject_cast<QWebEngineView*>(window.webBrowser());
  return view ? view->page() : nullptr;
}

// A form field's value, in the page's script.
QString field(const char* id) { return QStringLiteral("document.getElementById('%1').value").arg(QLatin1String(id)); }

// Runs `script` in the window's page and waits for its result.
std::optional<QVariant> runScript(TfrmWebIstek& window, const QString& script) {
  std::optional<QVariant> result;
  pageOf(window)->runJavaScript(script, [&](const QVariant& value) { result = value; });
  if (!spinUntil([&] { return result.has_value(); }, 10s)) return std::nullopt;
  return result;
}

// Navigates and waits until the new page reports its load.
bool openAndLoad(TfrmWebIstek& window, const QUrl& address) {
  window.setOuterSize(kOpenedSize);
  window.navigate(address);
  std::optional<bool> loaded;
  const auto connection = QObject::connect(pageOf(window), &QWebEnginePage::loadFinished, &window,
                                           [&](bool ok) { loaded = ok; });
  window.show();
  const bool done = spinUntil([&] { return loaded.has_value(); }, 30s);
  QObject::disconnect(connection);
  return done && *loaded;
}

// Typed into the form, closed and opened again: the page comes from the
// server again with every field empty.
TEST_F(WebRequestTest, EveryOpeningLoadsAFreshPage) {
  struct Case {
    const char* field;
    const char* typed;
  };
  const Case cases[] = {
      {"ad", "Ayşe Gül"},
      {"sarki", "Çığlık\nİstanbul'u dinliyorum"},
  };
  TfrmWebIstek window;
  ASSERT_TRUE(openAndLoad(window, page->address()));
  const int firstRequests = page->pageRequests();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    // Percent-encoded, so that quotes and line breaks reach the script intact.
    const QString typedText = QString::fromUtf8(c.typed);
    const QString encoded = QString::fromLatin1(QUrl::toPercentEncoding(typedText));
    const QString set = field(c.field) + QStringLiteral(" = decodeURIComponent('%1'); ").arg(encoded) + field(c.field);
    const auto typed = runScript(window, set);
    ASSERT_TRUE(typed);
    EXPECT_EQ(typed->toString(), typedText);
  }
  window.hide();

  ASSERT_TRUE(openAndLoad(window, page->address()));
  EXPECT_EQ(window.frameGeometry().size(), kOpenedSize);
  EXPECT_EQ(pageOf(window)->title(), kPageTitle);
  EXPECT_TRUE(spinUntil([&] { return page->pageRequests() == firstRequests + 1; }, 10s));
  EXPECT_EQ(webViews(), 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    const auto value = runScript(window, field(c.field));
    ASSERT_TRUE(value);
    EXPECT_EQ(value->toString(), QString());
  }
}

}  // namespace
}  // namespace ornivox::webtest

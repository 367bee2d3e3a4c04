#include "app/dialog_filter.h"

#include "app/message_boxes.h"

namespace elevara::app {
namespace {

QString QtPatterns(const QString& patterns) {
  QStringList converted;
  for (const QString& pattern : patterns.split(u';', Qt::SkipEmptyParts)) {
    const QString trimmed = pattern.trimmed();
    if (trimmed.isEmpty()) continue;
    converted << (trimmed == u"*.*" ? QStringLiteral("*") : trimmed);
  }
  if (converted.isEmpty()) converted << QStringLiteral("*");
  return converted.join(u' ');
}

}  // namespace

QStringList QtNameFilters(std::string_view filter) {
  const QStringList parts = FromUtf8(filter).split(u'|');
  QStringList filters;
  if (parts.size() == 1 && parts.first().trimmed().isEmpty()) return filters;
  for (qsizetype i = 0; i < parts.size(); i += 2) {
    const QString description = parts[i].trimmed();
    // A description without its pattern is taken as the pattern itself.
    const QString patterns = QtPatterns(i + 1 < parts.size() ? parts[i + 1] : parts[i]);
    filters << (description.isEmpty() ? patterns : description) + QStringLiteral(" (") + patterns +
                   QLatin1Char(')');
  }
  return filters;
}

}  // namespace elevara::app

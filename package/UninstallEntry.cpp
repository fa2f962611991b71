#include "package/UninstallEntry.h"

std::vector<TUninstallValue> UninstallValues(bool chinese, const TUninstallProduct& product,
                                             const std::u16string& destDir,
                                             const TInstallFacts& facts) {
  const std::u16string host = kPublisherHost;
  const std::u16string uninstaller = QuotedCommand(destDir + u"Uninst.exe");
  std::u16string location = destDir;
  if (location.size() > 3 && location.back() == u'\\')
    location.pop_back();
  const int64_t kib = (facts.unpackedBytes + 1023) / 1024;
  const auto number = [](const char16_t* name, int64_t n) {
    TUninstallValue v{name, u"", true, static_cast<uint32_t>(n > 0xFFFFFFFF ? 0xFFFFFFFF : n)};
    return v;
  };
  return {
      {u"DisplayIcon", destDir + product.shortName + u".exe"},
      {u"DisplayName", product.uninstallName},
      {u"DisplayVersion", product.version},
      {u"Publisher", chinese ? kChinesePublisher : kEnglishPublisher},
      {u"URLInfoAbout", u"http://" + host + (chinese ? u"/index_chs.shtml" : u"/")},
      {u"UninstallString", uninstaller},
      {u"QuietUninstallString", uninstaller + u" /S"},
      {u"InstallLocation", location},
      number(u"EstimatedSize", kib),
      {u"InstallDate", facts.installDate},
      number(u"NoModify", 1),
      number(u"NoRepair", 1),
  };
}

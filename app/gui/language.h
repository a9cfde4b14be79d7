#pragma once

class QCoreApplication;
class QLocale;

namespace geofluid::gui {

// The captions of the results and batch windows are written in Japanese, as Form1's; under any
// other locale they are shown in English. Form1's own captions are never translated. Returns
// whether the English translation was installed.
bool InstallLanguage(QCoreApplication& app, const QLocale& locale);

}  // namespace geofluid::gui

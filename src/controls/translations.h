#pragma once
// Qt's own texts (standard buttons, the folder picker, the context menus of text
// fields) in Simplified Chinese whatever the user's locale: loads Qt's zh_CN
// translation from Qt's translations folder and makes zh_CN the default locale,
// so that dates and sizes in Qt's dialogs read the same way. The program and the
// tests call it once after the application object exists. GUI thread only.

// True when Qt's translation was found and installed; without it the program
// runs with Qt's English texts.
bool installChineseTranslations();

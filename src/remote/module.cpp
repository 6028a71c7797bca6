#include "module.h"

#include <QCoreApplication>
#include <QLibrary>

#include <map>
#include <memory>

using namespace Qt::StringLiterals;

namespace tarvik {

QFunctionPointer moduleEntry(const QString &fileName, const char *symbol, const QString &what,
                             QString &why)
{
    // Kept for the run: what a module made may live until the program ends.
    static std::map<QString, std::unique_ptr<QLibrary>> opened;
    std::unique_ptr<QLibrary> &module = opened[fileName];
    if (!module) {
        module =
            std::make_unique<QLibrary>(QCoreApplication::applicationDirPath() + u'/' + fileName);
        module->setLoadHints(QLibrary::ResolveAllSymbolsHint);
    }
    const QFunctionPointer entry = module->resolve(symbol);
    if (!entry)
        why = u"the %1 module cannot be opened: %2"_s.arg(what, module->errorString());
    return entry;
}

} // namespace tarvik

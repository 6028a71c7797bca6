// A helper for tst_settingskill: stores one value over and over, as fast as the disk
// allows, announcing each write before it starts and after it returns, until killed.
//
//   settingswriter FILE   the store to write; [Kill] Round counts up from its value

#include "settingsstore.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    tarvik::SettingsStore store(QString::fromLocal8Bit(argv[1]), nullptr);
    const QString section = QStringLiteral("Kill");
    const QString key = QStringLiteral("Round");
    for (long round = store.GetSetting(section, key).toLong() + 1;; ++round) {
        std::printf("writing %ld\n", round);
        std::fflush(stdout);
        if (!store.SaveSetting(section, key, QString::number(round)))
            return 1;
        std::printf("wrote %ld\n", round);
        std::fflush(stdout);
    }
}

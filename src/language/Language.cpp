// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "Language.h"

#include <QCoreApplication>
#include <QPointer>
#include <QString>
#include <QTranslator>

namespace kv {

namespace {

// Built from translations/kv718st-demo_en.ts and embedded by the build.
constexpr auto kEnglishTranslation = ":/i18n/kv718st-demo_en.qm";

// The translation in use, owned by the application; null while the texts
// are Chinese.
QPointer<QTranslator> &installedTranslation()
{
    static QPointer<QTranslator> translation;
    return translation;
}

} // namespace

std::optional<Language> languageNamed(std::string_view name)
{
    for (const auto &[known, language] : kLanguageNames)
        if (name == known)
            return language;
    return std::nullopt;
}

bool useLanguage(Language language)
{
    QPointer<QTranslator> &installed = installedTranslation();
    if (installed) {
        QCoreApplication::removeTranslator(installed);
        delete installed;
    }
    if (language == Language::Chinese)
        return true;
    auto *translation = new QTranslator(QCoreApplication::instance());
    if (!translation->load(QString::fromLatin1(kEnglishTranslation)) ||
        !QCoreApplication::installTranslator(translation)) {
        delete translation;
        return false;
    }
    installed = translation;
    return true;
}

} // namespace kv

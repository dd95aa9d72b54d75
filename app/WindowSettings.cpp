#include "app/WindowSettings.h"

#include "app/FieldRules.h"
#include "platform/AppPaths.h"
#include "platform/RegistryStore.h"

#include <array>
#include <utility>

namespace nimbra {
namespace {

// The stored fields in the order they are written.
constexpr std::array<std::pair<Field, const char*>, 17> StoredFields{{
    {Field::Host, "NEWSHost"},
    {Field::Timeout, "timeout"},
    {Field::Filter, "contain"},
    {Field::Cache, "cache"},
    {Field::Minimum, "lines"},
    {Field::Port, "port"},
    {Field::Maximum, "maxlines"},
    {Field::Folder, "dirtosave"},
    {Field::Tls, "tls"},
    {Field::FastScan, "fastscan"},
    {Field::SubjectMatch, "subjectmatch"},
    {Field::SubjectExclude, "subjectexclude"},
    {Field::Pipeline, "pipeline"},
    {Field::Compression, "compression"},
    {Field::SkipKnown, "skipknown"},
    {Field::SimilarBits, "similarbits"},
    {Field::Connections, "connections"},
}};

std::int32_t storedNumber(const RegistryStore& store, const char* name)
{
    return FieldRules::number(store.readString(name)).value_or(0);
}

void applyFieldRules(SettingsFields& fields)
{
    fields.setFieldText(Field::Port, FieldRules::port(fields.fieldText(Field::Port)));
    fields.setFieldText(Field::Timeout, FieldRules::timeout(fields.fieldText(Field::Timeout)));
    fields.setFieldText(Field::Cache, FieldRules::cache(fields.fieldText(Field::Cache)));
    fields.setFieldText(Field::Pipeline, FieldRules::pipeline(fields.fieldText(Field::Pipeline)));
    fields.setFieldText(Field::SimilarBits, FieldRules::similarBits(fields.fieldText(Field::SimilarBits)));
    fields.setFieldText(Field::Connections, FieldRules::connections(fields.fieldText(Field::Connections)));
    const auto sizes = FieldRules::maximumLeft({fields.fieldText(Field::Minimum), fields.fieldText(Field::Maximum)});
    const auto checked = FieldRules::minimumLeft(sizes);
    fields.setFieldText(Field::Minimum, checked.minimum);
    fields.setFieldText(Field::Maximum, checked.maximum);
}

} // namespace

void WindowSettings::writeHelpLocation(RegistryStore& store, const std::string& programFolder)
{
    store.openKey(HelpKey, true);
    store.writeString("nimbra.hlp", programFolder);
    store.closeKey();
}

WindowSettings::Totals WindowSettings::loadTotals(RegistryStore& store)
{
    Totals totals;
    store.openKey(TotalsKey, true);
    totals.files = storedNumber(store, "totf");
    totals.kilobytes = storedNumber(store, "tots");
    store.closeKey();
    return totals;
}

void WindowSettings::saveTotals(RegistryStore& store, const std::string& files, const std::string& kilobytes)
{
    store.openKey(TotalsKey, true);
    store.writeString("totf", files);
    store.writeString("tots", kilobytes);
    store.closeKey();
}

void WindowSettings::load(RegistryStore& store, SettingsFields& fields)
{
    store.openKey(SettingsKey, true);
    for (const auto& [field, name] : StoredFields) {
        if (field == Field::Host)
            fields.setFieldText(field, store.readString(name));
        else if (store.valueExists(name))
            fields.setFieldText(field, store.readString(name));
        else if (field == Field::Folder)
            fields.setFieldText(field, AppPaths::defaultDownloadFolder());
    }
    store.closeKey();
    applyFieldRules(fields);
}

void WindowSettings::save(RegistryStore& store, const SettingsFields& fields)
{
    store.openKey(SettingsKey, true);
    for (const auto& [field, name] : StoredFields)
        store.writeString(name, fields.fieldText(field));
    store.closeKey();
}

} // namespace nimbra

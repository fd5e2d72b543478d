// The model's role table: every role's names, how data() reads it and how setData() stores it,
// kept apart from the operator changes and the link so the table reads as one piece.

#include "model/PreampModel.h"

namespace {

bool isNumberedRole(int role)
{
    return role >= PreampModel::IdRole && role <= PreampModel::ScribbleStripRole;
}

} // namespace

int PreampModel::roleNumber(const QString &roleName)
{
    for (const RoleAccess &role : roles()) {
        if (roleName == QLatin1String(role.invokableName))
            return role.number;
    }
    return Qt::UserRole;
}

// Every numbered role once: its names, how data() reads it and how setData() stores it.
// Unit-level roles read and write the unit whatever the row; channel roles go through the
// channel's own writers, which notify the strips.
const std::array<PreampModel::RoleAccess, 19> &PreampModel::roles()
{
    using M = PreampModel;
    using C = Channel;
    using V = QVariant;
    static const std::array<RoleAccess, 19> table{{
        {IdRole, "idRole", "preampID", [](const M &m, const C &) { return V(m.m_preampID); },
         [](M &m, C &, const V &v) {
             m.m_preampID = v.toInt();
         }},
        {OnlineRole, "onlineRole", "online", [](const M &m, const C &) { return V(m.online()); },
         [](M &m, C &, const V &v) {
             m.m_link->setState(v.toInt());
         }},
        {ClkStatusRole, "clkStatusRole", "clkStatus",
         [](const M &m, const C &) { return V(m.m_clkStatus); },
         [](M &m, C &, const V &v) {
             m.m_clkStatus = v.toBool();
         }},
        {SampleRateRole, "sampleRateRole", "sampleRate",
         [](const M &m, const C &) { return V(m.m_sampleRate); },
         [](M &m, C &, const V &v) {
             m.m_sampleRate = v.toInt();
         }},
        {ClkSourceRole, "clkSourceRole", "clkSource",
         [](const M &m, const C &) { return V(m.m_clkSource); },
         [](M &m, C &, const V &v) {
             m.m_clkSource = v.toInt();
         }},
        {OutFormatRole, "outFormatRole", "outFormat",
         [](const M &m, const C &) { return V(m.m_outFormat); },
         [](M &m, C &, const V &v) {
             m.m_outFormat = v.toInt();
         }},
        {ClkOutSourceRole, "clkOutSourceRole", "clkOutSource",
         [](const M &m, const C &) { return V(m.m_clkOutSource); },
         [](M &m, C &, const V &v) {
             m.m_clkOutSource = v.toInt();
         }},
        {PreampNameRole, "preampNameRole", "preampName",
         [](const M &m, const C &) { return V(m.m_preampName); },
         [](M &m, C &, const V &v) {
             m.m_preampName = v.toString();
         }},
        {PhantomRole, "phantomRole", "phantom",
         [](const M &, const C &c) { return V(c.phantom()); },
         [](M &, C &c, const V &v) {
             c.setPhantom(v.toBool());
         }},
        {PhaseRole, "phaseRole", "phase", [](const M &, const C &c) { return V(c.phase()); },
         [](M &, C &c, const V &v) {
             c.setPhase(v.toBool());
         }},
        {RibbonRole, "ribbonRole", "ribbon", [](const M &, const C &c) { return V(c.ribbon()); },
         [](M &, C &c, const V &v) {
             c.setRibbon(v.toBool());
         }},
        {GroupRole, "groupRole", "group", [](const M &, const C &c) { return V(c.group()); },
         [](M &, C &c, const V &v) {
             c.setGroup(v.toBool());
         }},
        {GroupNameRole, "groupNameRole", "groupName",
         [](const M &, const C &c) { return V(c.groupName()); },
         [](M &, C &c, const V &v) {
             c.setGroupName(v.toInt());
         }},
        {GainRole, "gainRole", "gain", [](const M &, const C &c) { return V(c.gain()); },
         [](M &, C &c, const V &v) {
             c.setGain(v.toInt());
         }},
        {NameRole, "nameRole", "name", [](const M &, const C &c) { return V(c.name()); },
         [](M &, C &c, const V &v) {
             c.setName(v.toString().trimmed());
         }},
        {NumberRole, "numberRole", "number", [](const M &, const C &c) { return V(c.number()); },
         [](M &, C &c, const V &v) {
             c.setNumber(v.toInt());
         }},
        {MeterLevelRole, "meterLevelRole", "meterLevel",
         [](const M &, const C &c) { return V(c.meterLevel()); },
         [](M &, C &c, const V &v) {
             c.setMeterLevel(v.toInt());
         }},
        {OverRole, "overRole", "over", [](const M &, const C &c) { return V(c.over()); },
         [](M &, C &c, const V &v) {
             c.setOver(v.toBool());
         }},
        {ScribbleStripRole, "scribbleStripRole", "scribbleStrip",
         [](const M &, const C &c) { return V(c.scribbleStrip()); },
         [](M &, C &c, const V &v) {
             c.setScribbleStrip(v.toString());
         }},
    }};
    return table;
}

const PreampModel::RoleAccess *PreampModel::roleAccess(int role)
{
    return isNumberedRole(role) ? &roles().at(size_t(role - IdRole)) : nullptr;
}

QVariant PreampModel::roleValue(int row, int role) const
{
    const RoleAccess *access = roleAccess(role);
    return access ? access->read(*this, *m_channels.at(row)) : QVariant();
}

QHash<int, QByteArray> PreampModel::roleNames() const
{
    QHash<int, QByteArray> names;
    for (const RoleAccess &role : roles())
        names.insert(role.number, role.publishedName);
    return names;
}

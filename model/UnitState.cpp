#include "model/UnitState.h"

#include "model/PreampModel.h"

namespace {

template<typename T, typename Signal>
void take(UnitState *state, T &field, const T &value, Signal signal)
{
    if (field == value)
        return;
    field = value;
    emit(state->*signal)();
}

} // namespace

UnitState::UnitState(PreampModel *model) : QObject(model)
{
    follow(*model);
}

void UnitState::follow(const PreampModel &model)
{
    take(this, m_preampID, model.preampID(), &UnitState::idChanged);
    take(this, m_preampName, model.preampName(), &UnitState::preampNameChanged);
    take(this, m_ipAddr, model.ipAddr(), &UnitState::ipAddrChanged);
    take(this, m_online, model.online(), &UnitState::onlineChanged);
    take(this, m_clkStatus, model.clkStatus(), &UnitState::clkStatusChanged);
    take(this, m_sampleRate, model.sampleRate(), &UnitState::sampleRateChanged);
    take(this, m_clkSource, model.clkSource(), &UnitState::clkSourceChanged);
    take(this, m_outFormat, model.outFormat(), &UnitState::outFormatChanged);
    take(this, m_clkOutSource, model.clkOutSource(), &UnitState::clkOutSourceChanged);
}

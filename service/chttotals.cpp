#include "service/chttotals.h"

#include "host/data/formatsettings.h"

namespace aph {

void TChtTotals::Add(double worked, double billed, double commission)
{
    ++m_days;
    m_worked += worked;
    m_billed += billed;
    m_commission += commission;
    if (m_fixed) {
        if (m_amount == 0)
            m_amount += m_contracted * m_hourValue; // a fixed value counts once
    } else {
        m_amount += billed * m_hourValue;
    }
}

double TChtTotals::Amount() const
{
    return RoundDec(m_amount, 2);
}

double TChtTotals::BasisHours() const
{
    if (!m_fixed)
        return m_billed;
    return m_days > 0 ? m_contracted : 0;
}

} // namespace aph

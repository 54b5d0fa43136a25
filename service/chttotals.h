#pragma once

#include <QString>

namespace aph {

// The totals of a contracted service's days, as the approval screen's
// totals panel shows them and the server's CHT statement prints them: the
// hours worked, billed and for commission, and the amount to bill.
//
// The amount depends on how the service is charged: by the hour ("H") and
// as a package ("P") it is the billed hours times the hour value to bill;
// at a fixed value ("F") it is the contracted quantity times that value,
// counted once. It is summed unrounded and rounded once, to cents, by
// Amount().
//
// The amount's basis is the product it is made of, BasisHours() times
// BasisHourValue(), for every way of charging: the panel's bottom line and
// the statement's "Base de cálculo" both print it.
class TChtTotals
{
public:
    TChtTotals(const QString& billing, double contractedQuantity, double hourValue)
        : m_fixed(billing == u"F"), m_contracted(contractedQuantity), m_hourValue(hourValue)
    {}

    // One day; an empty approval counts as zero.
    void Add(double worked, double billed, double commission);

    double Worked() const { return m_worked; }
    double Billed() const { return m_billed; }
    double Commission() const { return m_commission; }
    double UnroundedAmount() const { return m_amount; }
    double Amount() const;

    // The hours the amount is made of: the billed hours, or at a fixed
    // value the contracted quantity once a day has counted it (no hours
    // while there is none, as the amount is then 0).
    double BasisHours() const;
    // The hour value the amount is made of: the hour value to bill.
    double BasisHourValue() const { return m_hourValue; }

private:
    bool m_fixed;
    double m_contracted, m_hourValue;
    double m_worked = 0, m_billed = 0, m_commission = 0, m_amount = 0;
    int m_days = 0;
};

} // namespace aph

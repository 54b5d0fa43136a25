#pragma once

#include <QString>

namespace aph {

// Root of everything a screen names: datasets, data sources, fields and
// controls. Handlers receive the component that raised the event as Sender.
class TObject
{
public:
    TObject() = default;
    TObject(const TObject&) = delete;
    TObject& operator=(const TObject&) = delete;
    virtual ~TObject() = default;
};

class TComponent : public TObject
{
public:
    explicit TComponent(QString name = {}) : m_name(std::move(name)) {}

    const QString& Name() const { return m_name; }
    void SetName(const QString& name) { m_name = name; }

private:
    QString m_name;
};

} // namespace aph

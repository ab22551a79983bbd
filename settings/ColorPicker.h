#pragma once

#include <QComboBox>

// A colour chooser over the settings' colour values: every named colour with
// its swatch, and any other colour through the colour dialog. What it holds
// is what the settings store as colour text.
class ColorPicker : public QComboBox {
    Q_OBJECT
public:
    explicit ColorPicker(QWidget* parent = nullptr);

    quint32 colorValue() const { return m_value; }
    void setColorValue(quint32 value);

    // The caption a colour value is listed under.
    static QString caption(quint32 value);
    // The entry that opens the colour dialog.
    static QString otherCaption();

private:
    void chosen(int index);
    int indexOf(quint32 value) const;

    quint32 m_value = 0;
    int m_named = 0; // entries before the custom one
};

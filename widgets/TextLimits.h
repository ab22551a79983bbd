#pragma once

#include <QPlainTextEdit>
#include <QStringList>

class QComboBox;
class QLineEdit;

// Byte limits of the input fields, counted in the Chinese code page. A limit
// stops the user's typing, pasting and dropping from going past it; text the
// program puts in (a stored value being loaded) is shown whole.
namespace TextLimits {
// A single-line field. A pasted line break or tab becomes a blank; other
// control characters and the bidi formatting characters go.
void limitLine(QLineEdit* edit, int maxBytes);
// Fills a combo box's list: choosing an entry is a way into the field too,
// so each entry is cut to the limit at a character boundary.
void setItems(QComboBox* box, const QStringList& items, int maxBytes);
} // namespace TextLimits

// A multi-line field, with a byte limit when one is set. What the user
// pastes, drops or types through an input method keeps no control character
// but the line break, and no bidi embedding, override or isolate.
class LimitedMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit LimitedMemo(QWidget* parent = nullptr);
    void setMaxBytes(int maxBytes) { m_max = maxBytes; }
    int maxBytes() const { return m_max; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    template <class Edit> void limited(Edit edit);
    int m_max = -1;
};

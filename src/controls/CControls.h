// TCEdit: a single-line edit box whose horizontal alignment is a property.
#pragma once

#include <QLineEdit>

namespace varnetta::app {

enum TAlignment : int
{
    taLeftJustify = 0,
    taRightJustify = 1,
    taCenter = 2
};

class TCEdit : public QLineEdit
{
    Q_OBJECT
    Q_PROPERTY(int Alignment READ Alignment WRITE setAlignmentProperty)
public:
    explicit TCEdit(QWidget* parent = nullptr);

    [[nodiscard]] TAlignment Alignment() const { return m_alignment; }
    void SetAlignment(TAlignment value);

    // How often the alignment style was applied (CreateParams); a repeated
    // value applies nothing.
    [[nodiscard]] int styleApplications() const { return m_styleApplications; }

    // The side the text stands on for an alignment under a reading order:
    // right-to-left swaps left and right, centre stays.
    [[nodiscard]] static Qt::Alignment visualAlignment(TAlignment alignment, Qt::LayoutDirection direction);

protected:
    void changeEvent(QEvent* event) override;

private:
    void setAlignmentProperty(int value) { SetAlignment(TAlignment(value)); }
    void CreateParams();

    TAlignment m_alignment = taLeftJustify;
    int m_styleApplications = 0;
};

} // namespace varnetta::app

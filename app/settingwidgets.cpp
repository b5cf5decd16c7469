// Controls for settings, bound to them both ways.
#include "app/settingwidgets.h"

#include "core/settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QSlider>

namespace lapvane {

namespace {

// Applies a settings change to the control, whatever made it (the load,
// another control, a reaction such as the two "to qual" switches).
void follow(Settings &settings, QWidget *w, const QString &control, const std::function<void(const QVariant &)> &apply)
{
    apply(settings.value(control));
    // The value now, not the one delivered: a reaction that ran before this
    // control heard of the change (the announcer turning "Play names and
    // laps" off again) has made the delivered value stale, and applying it
    // would change the setting back.
    QObject::connect(&settings, &Settings::changed, w, [&settings, control, apply](const QString &name, const QVariant &) {
        if (name == control)
            apply(settings.value(control));
    });
}

} // namespace

QWidget *createSettingControl(Settings &settings, const QString &control, QWidget *parent)
{
    const SettingDef *def = Settings::definition(control);
    Q_ASSERT(def);
    QWidget *result = nullptr;
    switch (def->widget) {
    case SettingControl::Edit: {
        auto *edit = new QLineEdit(parent);
        follow(settings, edit, control, [edit](const QVariant &v) {
            if (edit->text() != v.toString())
                edit->setText(v.toString());
        });
        QObject::connect(edit, &QLineEdit::textChanged, &settings,
                         [&settings, control](const QString &t) { settings.set(control, t); });
        result = edit;
        break;
    }
    case SettingControl::Check: {
        auto *box = new QCheckBox(def->caption, parent);
        follow(settings, box, control, [box](const QVariant &v) { box->setChecked(v.toBool()); });
        QObject::connect(box, &QCheckBox::toggled, &settings,
                         [&settings, control](bool on) { settings.set(control, on); });
        result = box;
        break;
    }
    case SettingControl::IndexCombo: {
        auto *combo = new QComboBox(parent);
        combo->addItems(def->choices);
        follow(settings, combo, control, [combo](const QVariant &v) {
            if (v.toInt() < combo->count())
                combo->setCurrentIndex(v.toInt());
        });
        QObject::connect(combo, &QComboBox::activated, &settings,
                         [&settings, control](int index) { settings.set(control, index); });
        result = combo;
        break;
    }
    case SettingControl::TextCombo: {
        auto *combo = new QComboBox(parent);
        combo->setEditable(true);
        combo->addItems(def->choices);
        follow(settings, combo, control, [combo](const QVariant &v) {
            if (combo->currentText() != v.toString())
                combo->setCurrentText(v.toString());
        });
        QObject::connect(combo, &QComboBox::currentTextChanged, &settings,
                         [&settings, control](const QString &t) { settings.set(control, t); });
        result = combo;
        break;
    }
    case SettingControl::Slider: {
        auto *slider = new QSlider(Qt::Horizontal, parent);
        slider->setRange(-10, 10);
        follow(settings, slider, control, [slider](const QVariant &v) { slider->setValue(v.toInt()); });
        QObject::connect(slider, &QSlider::valueChanged, &settings,
                         [&settings, control](int v) { settings.set(control, v); });
        result = slider;
        break;
    }
    }
    result->setObjectName(control);
    return result;
}

QWidget *addSettingRow(Settings &settings, QFormLayout *form, const QString &control)
{
    QWidget *w = createSettingControl(settings, control, form->parentWidget());
    const SettingDef *def = Settings::definition(control);
    if (def->widget == SettingControl::Check)
        form->addRow(w);
    else
        form->addRow(def->caption, w);
    return w;
}

void setSettingChoices(Settings &settings, QWidget *control, const QStringList &items)
{
    auto *combo = qobject_cast<QComboBox *>(control);
    if (!combo)
        return;
    const QVariant value = settings.value(control->objectName());
    const QSignalBlocker block(combo);
    combo->clear();
    combo->addItems(items);
    if (combo->isEditable())
        combo->setCurrentText(value.toString());
    else if (value.toInt() >= 0 && value.toInt() < items.size())
        combo->setCurrentIndex(value.toInt());
}

} // namespace lapvane

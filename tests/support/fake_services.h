#pragma once

#include "window_services/services.h"

#include <QDialog>
#include <QMap>
#include <QQueue>
#include <QStringList>
#include <QUrl>
#include <QVector>

#include <functional>

/// Recording fakes of the window services. Each test makes its own FakeServices.

class FakePointerService final : public PointerService {
public:
    void setMousePointer(int pointer) override
    {
        current = pointer;
        history.append(pointer);
    }
    int mousePointer() const override { return current; }

    int current = vbDefault;
    QVector<int> history;
};

class FakeMessageService final : public MessageService {
public:
    struct Call {
        QString prompt;
        int style = 0;
        QString title;
        int pointerAtCall = vbDefault;  ///< the pointer when the box came up
        int beepsBefore = 0;            ///< beeps sounded before the box came up
    };

    explicit FakeMessageService(const FakePointerService &pointer) : m_pointer(pointer) {}

    int MsgBox(QWidget *, const QString &prompt, int style, const QString &title) override
    {
        calls.append({prompt, style, title, m_pointer.current, beeps});
        if (!answers.isEmpty())
            return answers.dequeue();
        return (style & 0x0F) == vbYesNo ? vbNo : vbOK;
    }
    void Beep() override { ++beeps; }

    QVector<Call> calls;
    QQueue<int> answers;  ///< scripted answers; vbOK / vbNo when empty
    int beeps = 0;

private:
    const FakePointerService &m_pointer;
};

class FakeDesktopService final : public DesktopService {
public:
    bool openUrl(const QUrl &url) override
    {
        opened.append(url);
        return true;
    }
    QVector<QUrl> opened;
};

class FakeSettingsService final : public SettingsService {
public:
    QString GetSetting(const QString &appName, const QString &section, const QString &key,
                       const QString &defaultValue) override
    {
        return values.value(path(appName, section, key), defaultValue);
    }
    void SaveSetting(const QString &appName, const QString &section, const QString &key,
                     const QString &value) override
    {
        values.insert(path(appName, section, key), value);
    }
    static QString path(const QString &a, const QString &s, const QString &k)
    {
        return a + QLatin1Char('/') + s + QLatin1Char('/') + k;
    }
    QMap<QString, QString> values;  ///< "Quorbix/Options/ScreenHeight" -> "6800"
};

/// Shows the dialog without blocking, hands it to the next scripted step, then closes it
/// (unless the step already did) and returns its result.
class FakeDialogService final : public DialogService {
public:
    using Step = std::function<void(QDialog &)>;

    int showModal(QDialog &dialog) override
    {
        shown.append(dialog.objectName());
        dialog.show();
        if (!steps.isEmpty())
            steps.dequeue()(dialog);
        if (dialog.isVisible())
            dialog.reject();
        return dialog.result();
    }

    QQueue<Step> steps;
    QStringList shown;  ///< objectName of each dialog shown, in order
};

struct FakeServices {
    FakePointerService pointer;
    FakeMessageService messages{pointer};
    FakeDesktopService desktop;
    FakeSettingsService settings;
    FakeDialogService dialogs;
    Services services{messages, pointer, desktop, settings, dialogs};
};

// CCommandPage: what the seven device pages share: running a command of the
// protocol library through the console's runner and logging its outcome, and
// the builders of the pages' controls.
//
// A handler gathers its values from the controls on the UI thread, then
// RunGet, RunSet or RunAction hands the exchange to the worker with those
// values only (CCommandRunner.h). When it is done the entry goes to the log
// through the protocol library's log texts, and a get writes the received
// record into the controls (only on success: a failure keeps them).
//
// Threads: the UI thread, except the exchange itself.
#pragma once

#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "CConsoleWindow.h"
#include "tvprotocol/CommandCatalogue.h"
#include "tvprotocol/ConsoleLog.h"
#include "tvprotocol/DeviceCommands.h"

class QComboBox;
class QGridLayout;
class QGroupBox;
class QLineEdit;
class QPushButton;
class CIpAddressEdit;

class CCommandPage : public QWidget {
public:
    explicit CCommandPage(CConsoleWindow& console, QWidget* parent = nullptr);

protected:
    // A get: op fills a copy of `request` on the worker; the data report is
    // logged and fill(record) runs on success.
    template <class Record, class Fill>
    void RunGet(int (*op)(const char*, Record*, int), Fill fill, Record request = Record())
    {
        const std::string address = m_console.DeviceAddress();
        const int port = m_console.DevicePort();
        m_console.RunCommand([this, op, fill, request, address, port]() {
            auto record = std::make_shared<Record>(request);
            const int result = op(address.c_str(), record.get(), port);
            return CCommandRunner::Completion([this, fill, record, result] {
                m_console.Log(tvprotocol::DataLog(result, *record));
                if (result == tvprotocol::kResultOk)
                    fill(*record);
            });
        });
    }

    // A set: op sends `record`; the success text or the failure is logged.
    template <class Record>
    void RunSet(uint16_t command, int (*op)(const char*, const Record*, int), Record record)
    {
        RunAction(command, [op, record](const char* address, int port) {
            return op(address, &record, port);
        });
    }

    // An action without a record (reboot, restores), or any status command.
    void RunAction(uint16_t command, std::function<int(const char* address, int port)> op);

    // ---- controls ----
    // A titled group with a grid inside.
    QGroupBox* Group(const QString& title, QGridLayout** grid);
    // A combo with items, the first selected.
    QComboBox* Combo(const QStringList& items, const char* name = nullptr);
    // A number edit (digits only).
    QLineEdit* NumberEdit(const char* name = nullptr);
    // A text edit of at most maxLength characters.
    QLineEdit* TextEdit(int maxLength, const char* name = nullptr);
    CIpAddressEdit* AddressEdit(const char* name = nullptr);
    QPushButton* Button(const QString& text, std::function<void()> onClick);
    // label in column `column`, field beside it.
    static void AddField(QGridLayout* grid, int row, int column, const QString& label,
                         QWidget* field);
    // The channel header "ch1" .. "ch4" over columns 1 .. 4 of row `row`.
    static void AddChannelHeader(QGridLayout* grid, int row);
    // One combo per channel in columns 1 .. 4, the label in column 0.
    std::array<QComboBox*, tvprotocol::kChannelCount>
    ChannelCombos(QGridLayout* grid, int row, const QString& label, const QStringList& items);
    // Number edits, or with `items` editable combos offering those numbers.
    std::array<QLineEdit*, tvprotocol::kChannelCount>
    ChannelEdits(QGridLayout* grid, int row, const QString& label, const QStringList& items = {});

    // ---- values ----
    // The edit's number; 0 when it holds none (as a dialog reads its items).
    static int32_t Number(const QLineEdit* edit);
    static void SetNumber(QLineEdit* edit, int32_t value);
    static std::string Text(const QLineEdit* edit);
    static void SetText(QLineEdit* edit, const std::string& text);
    // Selects entry `index`; a value outside the list clears the selection.
    static void Select(QComboBox* combo, int index);
    // The combo's index plus offset; -1 + offset when nothing is selected,
    // which the protocol library refuses where the value has a range.
    static int32_t Index(const QComboBox* combo, int offset = 0);

    // Per channel: the combos' indexes or the edits' numbers, and back.
    using ChannelValues = int32_t[tvprotocol::kChannelCount];
    using ChannelCombosT = std::array<QComboBox*, tvprotocol::kChannelCount>;
    using ChannelEditsT = std::array<QLineEdit*, tvprotocol::kChannelCount>;
    static void Read(const ChannelCombosT& combos, ChannelValues& values);
    static void Show(const ChannelCombosT& combos, const ChannelValues& values);
    static void Read(const ChannelEditsT& edits, ChannelValues& values);
    static void Show(const ChannelEditsT& edits, const ChannelValues& values);

    // What video alarms and motion detection set alike per channel: the
    // linked output, screen prompt, speaker and network upload rows.
    struct LinkageRows {
        ChannelEditsT linked{};
        ChannelCombosT prompt{}, speaker{}, upload{};
        template <class Record> void ReadInto(Record& r) const
        {
            Read(linked, r.linkedOutput);
            Read(prompt, r.screenPrompt);
            Read(speaker, r.speaker);
            Read(upload, r.networkUpload);
        }
        template <class Record> void ShowFrom(const Record& r) const
        {
            Show(linked, r.linkedOutput);
            Show(prompt, r.screenPrompt);
            Show(speaker, r.speaker);
            Show(upload, r.networkUpload);
        }
    };
    // The four rows from `firstRow` on.
    LinkageRows AddLinkageRows(QGridLayout* grid, int firstRow);

    CConsoleWindow& m_console;
};

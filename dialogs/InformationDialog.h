#pragma once

// Shown after each event the user started by hand: the event's message in
// bold, the web address and contact name viewers need (and buttons that
// copy or open the link that needs no name typed), and the hotkeys.

#include <QDialog>
#include <QString>
#include <span>
#include <string>

class QLabel;
class QPlainTextEdit;
class QTreeWidget;

namespace lumivanta {

// One line of the hotkey list: the key, and what it does.
struct HotkeyListRow {
  QString key;
  QString command;
};

class CInformationDialog : public QDialog {
  Q_OBJECT

 public:
  CInformationDialog(const QString& message, const std::string& viewer_address, const std::string& contact_name,
                     std::span<const HotkeyListRow> hotkeys, QWidget* parent = nullptr);

  QString MessageText() const;
  QString AddressText() const;
  // The viewer address with the contact name filled in.
  const std::string& ViewerLinkText() const { return viewer_link_; }
  // The hotkey table as shown, row by row: key, command.
  QList<QStringList> HotkeyRows() const;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QLabel* message_ = nullptr;
  QPlainTextEdit* address_ = nullptr;
  QTreeWidget* hotkeys_ = nullptr;
  std::string viewer_link_;
};

// The address text: the template with "#2" replaced by the viewer address,
// then "#1" by the contact name.
QString ViewerAddressText(const std::string& viewer_address, const std::string& contact_name);

}  // namespace lumivanta

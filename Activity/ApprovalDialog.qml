import QtQuick

// Asks once whether an application may show activities in the notch.
Rectangle {
    id: root
    required property var dialog
    width: 440
    height: content.implicitHeight + 40
    color: "#f6f6f6"
    focus: true
    Component.onCompleted: forceActiveFocus()

    Keys.onReturnPressed: dialog.choose(true)
    Keys.onEnterPressed: dialog.choose(true)
    Keys.onEscapePressed: dialog.choose(false)

    Column {
        id: content
        x: 20
        y: 20
        width: parent.width - 40
        spacing: 12

        Text {
            width: parent.width
            text: root.dialog.message
            font.bold: true
            font.pixelSize: 15
            wrapMode: Text.Wrap
        }
        Text {
            width: parent.width
            text: root.dialog.informative
            font.pixelSize: 13
            color: "#444"
            wrapMode: Text.Wrap
        }
        Row {
            anchors.right: parent.right
            spacing: 10
            DialogButton {
                title: root.dialog.denyTitle
                onClicked: root.dialog.choose(false)
            }
            DialogButton {
                title: root.dialog.allowTitle
                isDefault: true
                onClicked: root.dialog.choose(true)
            }
        }
    }

    component DialogButton: Rectangle {
        id: button
        property string title
        property bool isDefault: false
        signal clicked
        width: Math.max(96, label.implicitWidth + 28)
        height: 30
        radius: 6
        color: isDefault ? (area.pressed ? "#0a58ca" : "#0d6efd") : (area.pressed ? "#d8d8d8" : "#e9e9e9")
        border.color: isDefault ? "transparent" : "#c8c8c8"
        Text {
            id: label
            anchors.centerIn: parent
            text: button.title
            color: button.isDefault ? "white" : "#222"
            font.pixelSize: 13
        }
        MouseArea {
            id: area
            anchors.fill: parent
            onClicked: button.clicked()
        }
    }
}

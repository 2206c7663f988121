import QtQuick

Item {
    Rectangle {
        color: "black"
        anchors.horizontalCenter: parent.horizontalCenter
        width: 202
        height: 24
    }
}

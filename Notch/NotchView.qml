import QtQuick

// The notch body: black, square at the top, rounded at the bottom, following the model's size
// with a spring.
Item {
    id: root
    required property var notch

    Rectangle {
        id: body
        color: "black"
        anchors.horizontalCenter: parent.horizontalCenter
        y: 0
        width: root.notch.bodyWidth
        height: root.notch.bodyHeight
        radius: Math.min(root.notch.bottomRadius, height / 2, width / 2)
        antialiasing: true

        Behavior on width { SpringAnimation { spring: 5; damping: 0.42; epsilon: 0.25 } }
        Behavior on height { SpringAnimation { spring: 5; damping: 0.42; epsilon: 0.25 } }
        Behavior on radius { NumberAnimation { duration: 180; easing.type: Easing.OutCubic } }

        // Squares the top corners: the body hangs from the top edge of the display.
        Rectangle {
            color: "black"
            anchors.top: parent.top
            width: parent.width
            height: Math.min(parent.height, parent.radius + 1)
        }
    }
}

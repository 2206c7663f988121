// Finding the video-call link in an event's URL, location and notes.
#include "Today/MeetingLink.h"

#include "QtTestSupport.h"
#include "TestNames.h"

#include <gtest/gtest.h>

namespace orlet {
namespace {

struct LinkCase {
    const char* sentence;
    std::vector<std::optional<QString>> texts; // URL, location, notes
    std::optional<QString> expected;
};

class FindsTheJoinLink : public testing::TestWithParam<LinkCase> {};

TEST_P(FindsTheJoinLink, InTheTextsInOrder) {
    const std::optional<QUrl> found = MeetingLink::find(GetParam().texts);
    EXPECT_EQ(found ? std::optional<QString>(found->toString()) : std::nullopt,
              GetParam().expected);
}

const QString room = QStringLiteral("Room 4.12");

INSTANTIATE_TEST_SUITE_P(
    MeetingLink, FindsTheJoinLink,
    testing::ValuesIn(std::vector<LinkCase>{
        {"Zoom in the URL",
         {QStringLiteral("https://zoom.us/j/5551234567"), room, std::nullopt},
         QStringLiteral("https://zoom.us/j/5551234567")},
        {"Google Meet in the location",
         {std::nullopt, QStringLiteral("https://meet.google.com/abc-defg-hij"), std::nullopt},
         QStringLiteral("https://meet.google.com/abc-defg-hij")},
        {"Teams for work in the notes",
         {std::nullopt, room,
          QStringLiteral(
              "Join: https://teams.microsoft.com/l/meetup-join/19%3ameeting_x%40thread.v2/0")},
         // The same address; only the case of the escapes is normalised.
         QStringLiteral("https://teams.microsoft.com/l/meetup-join/19%3Ameeting_x%40thread.v2/0")},
        {"Teams for personal accounts",
         {std::nullopt, std::nullopt, QStringLiteral("https://teams.live.com/meet/9312345")},
         QStringLiteral("https://teams.live.com/meet/9312345")},
        {"Webex on a company subdomain",
         {std::nullopt, std::nullopt, QStringLiteral("https://acme.webex.com/meet/ann")},
         QStringLiteral("https://acme.webex.com/meet/ann")},
        {"FaceTime",
         {QStringLiteral("https://facetime.apple.com/join#v=1&p=AbCd"), std::nullopt, std::nullopt},
         QStringLiteral("https://facetime.apple.com/join#v=1&p=AbCd")},
        {"Whereby",
         {std::nullopt, QStringLiteral("whereby: https://whereby.com/team-room"), std::nullopt},
         QStringLiteral("https://whereby.com/team-room")},
        {"Around",
         {std::nullopt, std::nullopt, QStringLiteral("https://around.co/r/standup")},
         QStringLiteral("https://around.co/r/standup")},
        {"the second link of the notes when the first is a document",
         {std::nullopt, room,
          QStringLiteral(
              "Agenda: https://docs.example.com/d/1\nCall: https://acme.zoom.us/j/123?pwd=x.")},
         QStringLiteral("https://acme.zoom.us/j/123?pwd=x")},
        {"an earlier text wins over a later one",
         {QStringLiteral("https://meet.google.com/aaa-bbbb-ccc"), std::nullopt,
          QStringLiteral("https://zoom.us/j/1")},
         QStringLiteral("https://meet.google.com/aaa-bbbb-ccc")},
        {"an upper-case host still matches",
         {std::nullopt, QStringLiteral("HTTPS://US02WEB.ZOOM.US/j/77"), std::nullopt},
         QStringLiteral("https://us02web.zoom.us/j/77")},
        {"a link in HTML notes ends at its quote",
         {std::nullopt, std::nullopt, QStringLiteral(R"(<a href="https://zoom.us/j/42">Join</a>)")},
         QStringLiteral("https://zoom.us/j/42")},
        {"a link in brackets loses the closing bracket",
         {std::nullopt, std::nullopt, QStringLiteral("(https://whereby.com/room)")},
         QStringLiteral("https://whereby.com/room")},
        {"a bare www name counts",
         {std::nullopt, std::nullopt, QStringLiteral("see www.webex.com/meet/bob")},
         QStringLiteral("http://www.webex.com/meet/bob")},
        {"a look-alike domain is not a meeting service",
         {QStringLiteral("https://notzoom.us/j/1"),
          QStringLiteral("https://zoom.us.example.com/j/1"),
          QStringLiteral("https://example.com/?next=https%3A%2F%2Fzoom.us")},
         std::nullopt},
        {"no link at all", {std::nullopt, room, QStringLiteral("")}, std::nullopt},
        {"nothing to look in", {}, std::nullopt},
    }),
    test::SentenceName());

} // namespace
} // namespace orlet

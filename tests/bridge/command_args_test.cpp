// The commands' arguments as WebKit hands them over: prefixes removed, split,
// then decoded piece by piece.
#include "bridge/command_args.hpp"

#include <gtest/gtest.h>

#include <cctype>

namespace camvault {
namespace {

TEST(CommandArgs, RemovalPathsAreSplitThenDecoded) {
    EXPECT_EQ(removal_paths("http://file_del_fun/"), std::vector<std::string>{""});
    EXPECT_EQ(removal_paths("http://file_del_fun//a%20b/A.MOV,/c/%C3%9C%2C%25.MOV,"),
              (std::vector<std::string>{"/a b/A.MOV", "/c/Ü,%.MOV", ""}));
    // A name holding "%20" literally reaches the page encoded as %2520.
    EXPECT_EQ(removal_paths("http://file_del_fun//x/%2520.MOV"),
              std::vector<std::string>{"/x/%20.MOV"});
}

TEST(CommandArgs, SettingsTextIsEverythingButThePrefix) {
    EXPECT_EQ(settings_text("http://save_set/mi,Fran%C3%A7ais"), "mi,Fran%C3%A7ais");
    EXPECT_EQ(settings_text("http://save_set/"), "");
}

TEST(CommandArgs, PhotoReadsMovieMinutesSecondsAndIgnoresFurtherFields) {
    auto r = photo_args("http://get_photo/file:///m/a%20b.MOV;2;5;99");
    EXPECT_EQ(r.movie_url, "file:///m/a%20b.MOV");  // escapes stay for URL parsing
    EXPECT_EQ(r.minutes, 2);
    EXPECT_EQ(r.seconds, 5);
    EXPECT_TRUE(r.complete);

    r = photo_args("x?http://get_photo/u;abc;7http://get_photo/");
    EXPECT_EQ(r.movie_url, "x?u");  // every occurrence of the prefix removed
    EXPECT_EQ(r.minutes, 0);        // letters only read as 0
    EXPECT_EQ(r.seconds, 7);

    EXPECT_FALSE(r.exact_ms);
    EXPECT_EQ(photo_args("http://get_photo/u;0;41;41742").exact_ms, 41742);
    EXPECT_FALSE(photo_args("http://get_photo/u;0;41;-5").exact_ms);  // no time before the start
    EXPECT_FALSE(photo_args("http://get_photo/u;0;41;4e3").exact_ms);
    EXPECT_FALSE(photo_args("http://get_photo/u;0;41;99999999999999").exact_ms);
    EXPECT_FALSE(photo_args("http://get_photo/file:///a.MOV;1").complete);
    EXPECT_FALSE(photo_args("http://get_photo/").complete);
    EXPECT_TRUE(photo_args("http://get_photo/;;").complete);
}

TEST(CommandArgs, PhotoStampIsReadOnlyWhenItIsWhole) {
    // {"clock_ms":1780304405500,"lat":51.5,"lon":-0.1,"speed_kmh":52.3,"heading":90,
    //  "caption":["a;b"]} as encodeURIComponent writes it: no ';' of a line splits the fields.
    const auto r = photo_args(
        "http://get_photo/u;0;41;41742;%7B%22clock_ms%22%3A1780304405500%2C%22lat%22%3A51.5%2C"
        "%22lon%22%3A-0.1%2C%22speed_kmh%22%3A52.3%2C%22heading%22%3A90%2C%22caption%22%3A%5B%22a%"
        "3Bb%22%5D%7D");
    ASSERT_TRUE(r.stamp);
    EXPECT_EQ(r.stamp->clock_ms, 1780304405500);
    EXPECT_EQ(r.stamp->lat, 51.5);
    EXPECT_EQ(r.stamp->lon, -0.1);
    EXPECT_EQ(r.stamp->speed_kmh, 52.3);
    EXPECT_EQ(r.stamp->heading, 90);
    EXPECT_EQ(r.stamp->caption, std::vector<std::string>{"a;b"});
    EXPECT_EQ(r.exact_ms, 41742);

    EXPECT_FALSE(photo_args("http://get_photo/u;0;41;41742").stamp);
    auto minimal = photo_stamp_args(R"({"clock_ms":0,"lat":null})");
    ASSERT_TRUE(minimal);
    EXPECT_FALSE(minimal->lat);  // no fix: no position
    EXPECT_TRUE(minimal->caption.empty());
    for (const char* bad :
         {R"({})", R"({"clock_ms":1.5})", R"({"clock_ms":"1"})", R"({"clock_ms":1,"lat":"51"})",
          R"({"clock_ms":1,"caption":"x"})", R"({"clock_ms":1,"caption":[1]})", "[1]", "not json"})
        EXPECT_FALSE(photo_stamp_args(bad)) << bad;
    EXPECT_FALSE(
        photo_stamp_args(R"({"clock_ms":1,"caption":[")" + std::string(201, 'x') + R"("]})"));
}

TEST(CommandArgs, LeadingIntegerLikeStrtolClampedTo32Bits) {
    EXPECT_EQ(read_leading_int32("  -12abc"), -12);
    EXPECT_EQ(read_leading_int32("+7"), 7);
    EXPECT_EQ(read_leading_int32("x12"), 0);
    EXPECT_EQ(read_leading_int32("- 3"), 0);
    EXPECT_EQ(read_leading_int32(""), 0);
    EXPECT_EQ(read_leading_int32("99999999999999999999"), 2147483647);
    EXPECT_EQ(read_leading_int32("-99999999999999999999"), -2147483648);
    EXPECT_EQ(read_leading_int32("2147483648"), 2147483647);
    EXPECT_EQ(read_leading_int32("-2147483648"), -2147483648);
}

TEST(CommandArgs, MergePathsSplitThenDecodeEachPath) {
    const auto paths = merge_paths("/a/x%20y.MOV,/b/%C3%A9t%C3%A9%2Cz.MOV,,/c.MOV,");
    ASSERT_EQ(paths.size(), 5u);
    EXPECT_EQ(paths[0], "/a/x y.MOV");
    EXPECT_EQ(paths[1], "/b/\xC3\xA9t\xC3\xA9,z.MOV");  // an encoded comma stays in its path
    EXPECT_EQ(paths[2], "");
    EXPECT_EQ(paths[3], "/c.MOV");
    EXPECT_EQ(paths[4], "");  // trailing comma: an empty element
}

// What the page sends: encodeURIComponent of the JSON text after the prefix.
std::string command_url(std::string_view prefix, std::string_view json) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string url(prefix);
    for (const char c : json) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || std::string_view("-_.!~*'()").find(c) != std::string_view::npos) {
            url += c;
        } else {
            url += '%';
            url += kHex[byte >> 4];
            url += kHex[byte & 15];
        }
    }
    return url;
}

std::string export_url(std::string_view json) {
    return command_url("http://export_route/", json);
}

TEST(CommandArgs, PrefsTextIsTheArgumentDecodedWhole) {
    const std::string json = R"({"clock_correction_s":-3600,"note":"caf\u00e9 é & 50% , ; / "q""})";
    EXPECT_EQ(prefs_text(command_url("http://save_prefs/", json)), json);
    // Multi-byte characters arrive as their UTF-8 bytes, percent-encoded.
    EXPECT_EQ(prefs_text("http://save_prefs/%7B%22%C3%BC%22%3A1%7D"), "{\"\xC3\xBC\":1}");
    // A stray "%" that starts no escape stays as it is.
    EXPECT_EQ(prefs_text("http://save_prefs/100%"), "100%");
    EXPECT_EQ(prefs_text("http://save_prefs/"), "");
    EXPECT_EQ(prefs_text("http://save_set/km,English"), "");
}

TEST(CommandArgs, ExportRouteReadsTheJsonObject) {
    auto args = export_route_args(
        export_url(R"({"clips":["/card/a, b%20\u00e9.MOV","/c/\"q\".MOV"],"format":"kml"})"));
    ASSERT_TRUE(args) << args.error();
    EXPECT_EQ(args->clips, (std::vector<std::string>{"/card/a, b%20\xC3\xA9.MOV", "/c/\"q\".MOV"}));
    EXPECT_EQ(args->format, "kml");
    EXPECT_EQ(args->speed_unit, "kmh");

    args =
        export_route_args(export_url(R"({"speed_unit":"mph","format":"csv","clips":["/A.MOV"]})"));
    ASSERT_TRUE(args) << args.error();
    EXPECT_EQ(args->speed_unit, "mph");
    EXPECT_EQ(args->format, "csv");
}

TEST(CommandArgs, ExportRouteRefusesWhatTheSchemaDoesNotAllow) {
    for (const char* json : {
             R"({"clips":["/A.MOV"]})",                                   // no format
             R"({"format":"gpx"})",                                       // no clips
             R"({"clips":[],"format":"gpx"})",                            // empty list
             R"({"clips":"/A.MOV","format":"gpx"})",                      // not a list
             R"({"clips":["A.MOV"],"format":"gpx"})",                     // relative path
             R"({"clips":[""],"format":"gpx"})",                          // empty path
             R"({"clips":[7],"format":"gpx"})",                           // not a string
             R"({"clips":["/A.MOV"],"format":"GPX"})",                    // unknown format
             R"({"clips":["/A.MOV"],"format":"gpx","speed_unit":"mi"})",  // unknown unit
             R"({"clips":["/A.MOV"],"format":"gpx","extra":1})",          // unknown field
             R"(["/A.MOV"])",                                             // not an object
             R"({"clips":["/A.MOV"],"format":"gpx")",                     // cut short
         }) {
        const auto args = export_route_args(export_url(json));
        EXPECT_FALSE(args) << json;
        EXPECT_EQ(args.error().rfind("export_route: ", 0), 0u) << json;
    }
    EXPECT_FALSE(export_route_args("http://export_route/"));
    EXPECT_FALSE(
        export_route_args("http://export_route/%7B%22clips%22%3A%5B%22%2F%C3%28%22%5D%7D"));
}

TEST(CommandArgs, SearchReadsEveryOptionalField) {
    const auto args = search_args(
        "http://library_search/"
        "%7B%22from%22%3A1000%2C%22to%22%3A2000%2C%22near%22%3A%7B%22lat%22%3A"
        "51.5%2C%22lon%22%3A-0.12%2C%22radius_m%22%3A250%7D%2C%22events%22%3A%5B%22impact%22%5D%"
        "7D");
    ASSERT_TRUE(args) << args.error();
    EXPECT_EQ(args->from_ms, 1000);
    EXPECT_EQ(args->to_ms, 2000);
    ASSERT_TRUE(args->near);
    EXPECT_DOUBLE_EQ(args->near->lon, -0.12);
    EXPECT_DOUBLE_EQ(args->near->radius_m, 250);
    EXPECT_EQ(args->events, std::vector<std::string>{"impact"});
    const auto nothing = search_args("http://library_search/%7B%7D");
    ASSERT_TRUE(nothing);
    EXPECT_FALSE(nothing->from_ms || nothing->near);
}

TEST(CommandArgs, SearchRefusesWhatTheSchemaDoesNotAllow) {
    for (const char* bad :
         {"http://library_search/", "http://library_search/%5B%5D",
          "http://library_search/%7B%22from%22%3A1.5%7D",
          "http://library_search/%7B%22near%22%3A%7B%22lat%22%3A95%2C%22lon%22%3A0"
          "%2C%22radius_m%22%3A1%7D%7D",
          "http://library_search/%7B%22events%22%3A%5B1%5D%7D",
          "http://library_search/%7B%22where%22%3A1%7D"})
        EXPECT_FALSE(search_args(bad)) << bad;
}

}  // namespace
TEST(CommandArgs, ExportReadsKindPiecesNameAndEvent) {
    const auto trip = export_args(command_url(
        "http://export/", R"({"kind":"trim","pieces":[{"clip":"/c/A 1.MOV","from_ms":15000},)"
                          R"({"clip":"/c/B,2.MOV","to_ms":45000}],"name":"Brake on the A4"})"));
    ASSERT_TRUE(trip) << trip.error();
    EXPECT_EQ(trip->kind, ExportKind::trim);
    ASSERT_EQ(trip->pieces.size(), 2u);
    EXPECT_EQ(trip->pieces[0], (ExportPieceArgs{"/c/A 1.MOV", 15000, std::nullopt}));
    EXPECT_EQ(trip->pieces[1], (ExportPieceArgs{"/c/B,2.MOV", 0, 45000}));
    EXPECT_EQ(trip->name, "Brake on the A4");
    EXPECT_FALSE(trip->event);

    const auto pack = export_args(command_url(
        "http://export/", R"({"kind":"evidence","pieces":[{"clip":"/c/A.MOV"}],)"
                          R"("event":{"kind":"harsh_braking","clip":"/c/A.MOV","at_ms":1234,)"
                          R"("stamp":{"clock_ms":1780304405500,"lat":51.5}}})"));
    ASSERT_TRUE(pack) << pack.error();
    ASSERT_TRUE(pack->event);
    EXPECT_EQ(pack->event->at_ms, 1234);
    ASSERT_TRUE(pack->event->stamp);
    EXPECT_EQ(pack->event->stamp->lat, 51.5);
    EXPECT_FALSE(pack->name);
    EXPECT_FALSE(pack->burn_in);
    const auto burnt = export_args(
        command_url("http://export/",
                    R"({"kind":"merge","pieces":[{"clip":"/a"}],"options":{"burn_in":true}})"));
    ASSERT_TRUE(burnt) << burnt.error();
    EXPECT_TRUE(burnt->burn_in);

    const char* refused[] = {
        R"({"pieces":[{"clip":"/a"}]})",                                       // no kind
        R"({"kind":"merge"})",                                                 // no pieces
        R"({"kind":"merge","pieces":[]})",                                     // none
        R"({"kind":"copy","pieces":[{"clip":"/a"}]})",                         // unknown kind
        R"({"kind":"merge","pieces":[{"clip":"a.MOV"}]})",                     // relative
        R"({"kind":"merge","pieces":[{"clip":"/a","from_ms":-1}]})",           // before the start
        R"({"kind":"merge","pieces":[{"clip":"/a","from_ms":5,"to_ms":5}]})",  // empty piece
        R"({"kind":"merge","pieces":[{"clip":"/a","from_ms":1.5}]})",          // not whole
        R"({"kind":"merge","pieces":[{"clip":"/a"}],"name":"../x"})",          // a folder
        R"({"kind":"merge","pieces":[{"clip":"/a"}],"name":".hidden"})",
        R"({"kind":"merge","pieces":[{"clip":"/a"}],"name":"a
b"})",
        R"({"kind":"merge","pieces":[{"clip":"/a"}],"burn":true})",  // unknown field
        R"({"kind":"merge","pieces":[{"clip":"/a"}],"options":{"burn_in":1}})",
        R"({"kind":"merge","pieces":[{"clip":"/a"}],"options":{"logo":true}})",
        R"({"kind":"evidence","pieces":[{"clip":"/a"}]})",  // no event
        R"({"kind":"evidence","pieces":[{"clip":"/a"}],"event":{"clip":"/a"}})",
        "[]",
        "not json",
    };
    for (const char* json : refused)
        EXPECT_FALSE(export_args(command_url("http://export/", json))) << json;
    EXPECT_EQ(export_args(command_url("http://export/",
                                      R"({"kind":"merge","pieces":[{"clip":"/a"}],"name":"/x"})"))
                  .failure()
                  .key,
              "export_bad_name");
    EXPECT_TRUE(valid_output_name(std::string(100, 'x')));
    EXPECT_FALSE(valid_output_name(std::string(101, 'x')));
    EXPECT_TRUE(valid_output_name("Unfall \xC3\xBC 2026-06-01"));
}

}  // namespace camvault

// The file-manager hand-off on a private session bus: a stand-in
// FileManager1 service receives the folder's URI.
#include <gio/gio.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "media/gst_handles.hpp"
#include "media_test_support.hpp"
#include "platform/gio/folder_opener_gio.hpp"

namespace camvault::platform {
namespace {

constexpr const char* kInterface = R"(
<node>
  <interface name="org.freedesktop.FileManager1">
    <method name="ShowFolders">
      <arg type="as" name="URIs" direction="in"/>
      <arg type="s" name="StartupId" direction="in"/>
    </method>
  </interface>
</node>)";

struct FileManager {
    std::vector<std::string> shown;
};

void on_method(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
               GVariant* parameters, GDBusMethodInvocation* invocation, gpointer data) {
    auto* manager = static_cast<FileManager*>(data);
    if (g_strcmp0(method, "ShowFolders") == 0) {
        GVariantIter* uris = nullptr;
        const gchar* startup = nullptr;
        g_variant_get(parameters, "(as&s)", &uris, &startup);
        const gchar* uri = nullptr;
        while (g_variant_iter_next(uris, "&s", &uri))
            manager->shown.emplace_back(uri);
        g_variant_iter_free(uris);
    }
    g_dbus_method_invocation_return_value(invocation, nullptr);
}

TEST(GioFolderOpener, AsksTheFileManagerToShowTheFolder) {
    // A private session bus for this process; down (and its daemon gone) at the end.
    media::ObjectRef<GTestDBus> bus(g_test_dbus_new(G_TEST_DBUS_NONE));
    g_test_dbus_up(bus.get());
    struct Down {
        GTestDBus* bus;
        ~Down() { g_test_dbus_down(bus); }
    } down{bus.get()};
    media::ObjectRef<GDBusConnection> connection(
        g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr));
    ASSERT_TRUE(connection);
    std::unique_ptr<GDBusNodeInfo, decltype(&g_dbus_node_info_unref)> node(
        g_dbus_node_info_new_for_xml(kInterface, nullptr), g_dbus_node_info_unref);
    FileManager manager;
    const GDBusInterfaceVTable vtable{on_method, nullptr, nullptr, {}};
    const guint object =
        g_dbus_connection_register_object(connection.get(), "/org/freedesktop/FileManager1",
                                          node->interfaces[0], &vtable, &manager, nullptr, nullptr);
    bool owned = false;
    const guint name = g_bus_own_name_on_connection(
        connection.get(), "org.freedesktop.FileManager1", G_BUS_NAME_OWNER_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, gpointer data) { *static_cast<bool*>(data) = true; },
        nullptr, &owned, nullptr);
    ASSERT_TRUE(media::testing::spin_until([&] { return owned; }, std::chrono::seconds(10)));

    GioFolderOpener opener;
    opener.show_folder("/home/driver/CAMVAULT/files with space");
    ASSERT_TRUE(media::testing::spin_until([&] { return !manager.shown.empty(); },
                                           std::chrono::seconds(10)));
    ASSERT_EQ(manager.shown.size(), 1u);
    EXPECT_EQ(manager.shown[0], "file:///home/driver/CAMVAULT/files%20with%20space");

    g_bus_unown_name(name);
    g_dbus_connection_unregister_object(connection.get(), object);
}

}  // namespace
}  // namespace camvault::platform

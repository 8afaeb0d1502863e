#include "launch/ZarnLauncher.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

#include "base/ErrorReporting.h"
#include "base/FileUtils.h"
#include "base/Log.h"
#include "config/CfgFile.h"
#include "platform/Dll.h"
#include "platform/SysInfo.h"

namespace {

// What a launcher handle points to: a private copy of one launch request.
class XeloLaunchData {
public:
    XeloLaunchData(const std::string& libraryPath, const std::vector<std::string>& arguments)
        : libraryPath(libraryPath), arguments(arguments) {}

    // Returns the block's size and, given a block, fills it. One routine for
    // both, so sizing and filling cannot disagree about the layout.
    int32_t initZarnlLauncherData(ZarnlLauncherData* data) const;

private:
    std::string libraryPath;
    std::vector<std::string> arguments;
};

// The pointer array sits wherever the path text ends, so typed stores into
// it would be misaligned; every store into the block is a byte copy.
void storePointer(char* block, size_t offset, const void* pointer) {
    std::memcpy(block + offset, &pointer, sizeof(pointer));
}

void storeText(char* block, size_t offset, const std::string& text) {
    std::memcpy(block + offset, text.c_str(), text.size() + 1);
}

int32_t XeloLaunchData::initZarnlLauncherData(ZarnlLauncherData* data) const {
    char* const block = reinterpret_cast<char*>(data);
    const size_t pathOffset = sizeof(ZarnlLauncherData);
    const size_t arrayOffset = pathOffset + libraryPath.size() + 1;
    const size_t argc = arguments.size();
    if (block != nullptr) {
        const auto storedArgc = static_cast<int32_t>(argc);
        storeText(block, pathOffset, libraryPath);
        storePointer(block, offsetof(ZarnlLauncherData, libraryPath), block + pathOffset);
        std::memcpy(block + offsetof(ZarnlLauncherData, argc), &storedArgc, sizeof(storedArgc));
        storePointer(block, offsetof(ZarnlLauncherData, argv), block + arrayOffset);
        storePointer(block, arrayOffset + argc * sizeof(char*), nullptr);
    }
    size_t cursor = arrayOffset + (argc + 1) * sizeof(char*);
    for (size_t i = 0; i != argc; ++i) {
        if (block != nullptr) {
            storeText(block, cursor, arguments[i]);
            storePointer(block, arrayOffset + i * sizeof(char*), block + cursor);
        }
        cursor += arguments[i].size() + 1;
    }
    if (cursor > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
        throw makeException(tstrings::any() << "ZarnlLauncherData of " << cursor
                                            << " bytes exceeds the 32-bit size limit",
                            ZELT_SOURCE_POS);
    }
    if (block == nullptr) {
        LOG_TRACE("Need " << cursor << " bytes for ZarnlLauncherData buffer");
    } else {
        LOG_TRACE("Initialized " << cursor << " bytes at " << static_cast<const void*>(block)
                                 << " address");
    }
    return static_cast<int32_t>(cursor);
}

const XeloLaunchData& launchData(void* handle) {
    if (handle == nullptr) {
        throw makeException("Null launcher handle", ZELT_SOURCE_POS);
    }
    return *static_cast<const XeloLaunchData*>(handle);
}

void closeHandle(void* handle) {
    delete static_cast<XeloLaunchData*>(handle);
}

// The table's functions are called across a C interface: no exception leaves them.
int32_t getZarnlLauncherDataSize(void* handle) {
    try {
        return launchData(handle).initZarnlLauncherData(nullptr);
    } catch (const std::runtime_error& e) {
        reportError(ZELT_SOURCE_POS, e);
    } catch (...) {
        reportUnknownError(ZELT_SOURCE_POS);
    }
    return -1;
}

ZarnlLauncherData* initZarnlLauncherData(void* handle, void* buffer, int32_t bufferSize) {
    try {
        const XeloLaunchData& request = launchData(handle);
        if (request.initZarnlLauncherData(nullptr) > bufferSize) {
            return nullptr;
        }
        auto* const data = static_cast<ZarnlLauncherData*>(buffer);
        request.initZarnlLauncherData(data);
        return data;
    } catch (const std::runtime_error& e) {
        reportError(ZELT_SOURCE_POS, e);
    } catch (...) {
        reportUnknownError(ZELT_SOURCE_POS);
    }
    return nullptr;
}

const ZarnlLauncherAPI api = {closeHandle, getZarnlLauncherDataSize, initZarnlLauncherData};

const char* argumentAt(const ZarnlLauncherData& data, int32_t index) {
    const char* argument;
    std::memcpy(&argument, reinterpret_cast<const char*>(data.argv) + index * sizeof(char*),
                sizeof(argument));
    return argument;
}

struct FreeBlock {
    void operator()(ZarnlLauncherData* data) const { std::free(data); }
};

// The entry of `name`, or null when the property is not set.
const CfgFile::Properties::value_type* findProperty(
    const CfgFile::Properties& properties, const CfgFile::Id<CfgFile::PropertyNameTag>& name) {
    const auto it = properties.find(name);
    return it == properties.end() ? nullptr : &*it;
}

}  // namespace

const ZarnlLauncherAPI* zarnLauncherGetAPI() {
    return &api;
}

ZarnlLauncherData* zarnLauncherCreateZarnlLauncherData(const ZarnlLauncherAPI* api, void* handle) {
    if (handle == nullptr) {
        return nullptr;
    }
    ZarnlLauncherData* data = nullptr;
    const int32_t size = api->getZarnlLauncherDataSize(handle);
    if (size >= 1) {
        void* const buffer = std::malloc(static_cast<size_t>(size));
        if (buffer == nullptr) {
            zarnLauncherLog("%s", std::strerror(errno));
        } else {
            data = api->initZarnlLauncherData(handle, buffer, size);
            if (data == nullptr) {
                std::free(buffer);
            }
        }
    }
    api->closeHandle(handle);
    return data;
}

// Reads the switch itself rather than through SysInfo: the runtime side may
// call this, so it must neither allocate nor throw.
void zarnLauncherLog(const char* format, ...) {
    const char* const debug = std::getenv("ZELT_DEBUG");
    if (debug == nullptr || std::strcmp(debug, "true") != 0) {
        return;
    }
    va_list values;
    va_start(values, format);
    std::vfprintf(stderr, format, values);
    va_end(values);
    std::fputc('\n', stderr);
}

int32_t zarnLauncherStartZarn(const ZarnlLauncherData* data, void* entryPoint) {
    zarnLauncherLog("xelo lib: [%s]", data->libraryPath);
    for (int32_t i = 0; i < data->argc; ++i) {
        zarnLauncherLog("xelo arg[%d]: [%s]", i, argumentAt(*data, i));
    }
    // Positions 7 and 8, and 9 and 10, receive the very same texts.
    static const char empty[] = "";
    static const char tovel[] = "tovel";
    const auto xeloLaunch = reinterpret_cast<XeloLaunchFunction*>(entryPoint);
    return xeloLaunch(data->argc, data->argv, 0, nullptr, 0, nullptr, empty, empty, tovel, tovel, 0,
                      0, 0, 0);
}

Zarn::Zarn() {
    LOG_TRACE("Zarn(" << this << ")::Zarn()");
}

Zarn::~Zarn() {
    LOG_TRACE("Zarn(" << this << ")::~Zarn()");
}

Zarn& Zarn::setLibraryPath(const std::string& path) {
    libraryPath = path;
    return *this;
}

Zarn& Zarn::addArgument(const std::string& argument) {
    arguments.push_back(argument);
    return *this;
}

Zarn& Zarn::initFromConfigFile(const CfgFile& cfg) {
    const CfgFile::Properties& app = cfg.getProperties(SectionName::Application);
    if (const auto* modulePath = findProperty(app, PropertyName::modulepath)) {
        for (const std::string& value : modulePath->second) {
            addArgument("--module-path").addArgument(value);
        }
    }
    if (const auto* classPath = findProperty(app, PropertyName::classpath)) {
        addArgument("-classpath").addArgument(CfgFile::asPathList(*classPath));
    }
    if (const auto* splash = findProperty(app, PropertyName::splash)) {
        const std::string splashPath = CfgFile::asString(*splash);
        if (FileUtils::isFileExists(splashPath)) {
            addArgument("-splash:" + splashPath);
        } else {
            LOG_WARNING("Splash property ignored. File \"" << splashPath << "\" not found");
        }
    }
    const CfgFile::Properties& tovelOptions = cfg.getProperties(SectionName::TovelOptions);
    if (const auto* options = findProperty(tovelOptions, PropertyName::tovelOptions)) {
        arguments.insert(arguments.end(), options->second.begin(), options->second.end());
    }
    addArgument("-Dzelt.app-path=" + SysInfo::getProcessModulePath());
    if (const auto* mainModule = findProperty(app, PropertyName::mainmodule)) {
        addArgument("-m").addArgument(CfgFile::asString(*mainModule));
    }
    if (const auto* mainClass = findProperty(app, PropertyName::mainclass)) {
        addArgument(CfgFile::asString(*mainClass));
    }
    if (const auto* mainArchive = findProperty(app, PropertyName::maintvar)) {
        addArgument("-tvar").addArgument(CfgFile::asString(*mainArchive));
    }
    const CfgFile::Properties& argOptions = cfg.getProperties(SectionName::ArgOptions);
    if (const auto* appArguments = findProperty(argOptions, PropertyName::arguments)) {
        arguments.insert(arguments.end(), appArguments->second.begin(), appArguments->second.end());
    }
    return *this;
}

bool Zarn::isWithSplash() const {
    return std::any_of(arguments.begin(), arguments.end(), [](const std::string& argument) {
        return tstrings::startsWith(argument, "-splash:");
    });
}

void Zarn::launch() {
    const std::unique_ptr<ZarnlLauncherData, FreeBlock> data(
        zarnLauncherCreateZarnlLauncherData(zarnLauncherGetAPI(), exportLauncher()));
    if (data == nullptr) {
        throw makeException("Failed to create the ZARN launch data", ZELT_SOURCE_POS);
    }
    LOG_TRACE("ZARN library: \"" << libraryPath << "\"");
    // Declared after the block, so the library is closed before the block is freed.
    const DllFunction<void*> xeloLaunch{Dll{tstrings::any(libraryPath)},
                                        tstrings::any("XELO_Launch")};
    if (zarnLauncherStartZarn(data.get(), xeloLaunch) != 0) {
        throw makeException("Failed to launch ZARN", ZELT_SOURCE_POS);
    }
}

void* Zarn::exportLauncher() const {
    return new XeloLaunchData(libraryPath, arguments);
}

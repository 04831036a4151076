// The check script API as TypeScript declarations, written by `zorel api --dts`; a test fails
// when this file differs from what the program prints. Check a script with
//   tsc --checkJs --allowJs --noEmit --lib es5 zorel.d.ts SCRIPT.js
// (docs/script-api.md is the same API as a reference).

/** The JSON text a plug-in method answers; JSON.parse gives the T. */
type AnswerText<T> = string & { readonly __answer?: T };

interface Problem {
  /** what it is about; %NAME% variables are replaced */
  description?: string;
  /** the problem's id, unique in the script */
  id: number;
  /** its name, as the user sees it */
  name?: string;
  /** the stages it takes part in: 100 system check, 101 detection, 102 remediation */
  stages?: number[];
  /** a link to more about it */
  url?: string;
}

interface Status {
  /** the problem's id */
  id: number;
  /** the stage the status is for */
  stage: number;
  /** 1 (or less) passed; any other number is the script's own (2 is "started", the value until a status is reported) */
  status: number;
}

interface ScriptHeader {
  /** the framework version the script was written for */
  frameworkversion?: string;
  /** the script's file name */
  jsfilename?: string;
  /** the script's revision */
  jsrevision?: string;
}

interface Product {
  /** the product's name */
  productname?: string;
}

interface Answer {
  /** 0 on success, and for the yes/no methods 0 means yes */
  errorcode: number;
  /** the answer of a yes/no method (where it says so) */
  return: boolean;
  /** the method could obtain what it was asked for (where it says so) */
  status: boolean;
}

interface OSInfo extends Answer {
  /** set by OS.getInstalledBrowsers */
  browsers: string;
  /** set by OS.getDefaultBrowser */
  defaultbrowser: string;
  /** set by OS.getMajorVersion */
  majorversion: number;
  /** set by OS.getMinorVersion */
  minorversion: number;
  /** set by OS.getOSArchType */
  osarchtype: string;
  /** set by OS.getOSLanguage */
  oslang: string;
  /** set by OS.getOSName, OS.getOSDetail */
  osname: string;
  /** set by OS.getOSEdition */
  osversion: string;
  systemdirectory: string;
  /** set by OS.getUACStatus */
  uacstatus: number;
}

interface OSValue extends Answer {
  /** set by OS.getSystemDirectory, OS.getWindowsDirectory */
  value: string;
}

interface CPUInfo extends Answer {
  /** set by System.getCPUName */
  cpuname: string;
}

interface MemoryInfo extends Answer {
  /** set by System.getFreeRAM, System.getFreeVirtualMemory, System.getSystemFreeSpace */
  freememorysize: string;
  /** set by System.getTotalRAM, System.getTotalVirtualMemory, System.getSystemSpace */
  memorysize: string;
  /** set by System.getUsedRAM, System.getUsedVirtualMemory */
  usedmemorysize: string;
}

interface FileSystemInfo extends Answer {
  /** set by System.getFileSystem */
  filesystem: string;
}

interface TimeInfo extends Answer {
  /** set by System.getDate */
  date: string;
  /** set by System.getTime */
  time: string;
  /** set by System.getTimeZone */
  timezone: string;
}

interface DiskInfo extends Answer {
  /** set by File.getDiskInfo */
  freespace: number;
  /** set by File.getDiskInfo */
  totalspace: number;
  /** set by File.getDiskInfo */
  usedspace: number;
}

interface FileInfo extends Answer {
  /** set by File.getFileInfo */
  createdtime: number;
  /** set by File.getFileInfo */
  disksize: number;
  /** set by File.getFileInfo */
  filetype: string;
  /** set by File.getFileInfo */
  ishidden: boolean;
  /** set by File.getFileInfo */
  isreadonly: boolean;
  /** set by File.getFileInfo */
  modifiedtime: number;
  /** set by File.getFileInfo */
  size: number;
}

interface RegistryValue extends Answer {
  /** set by Registry.getValue */
  type: number;
  /** set by Registry.getValue */
  value: string;
}

interface ServiceAnswer extends Answer {
  /** not set by any method: always 0 */
  servicestartuptype: number;
  /** not set by any method: always 0 */
  servicestatus: number;
}

interface ProductsInfo extends Answer {
  /** the products found; the key is absent when there are none */
  products?: Product[];
}

/** The script's stage function names, mapped to their stage ids (100, 101, 102). */
interface ExecutionModes {
  [stageFunction: string]: number;
}

/** Per problem id, one function per stage function name. */
interface ProblemTable {
  [problemId: number]: { [stageFunction: string]: () => void };
}

/** Declares a problem and the stages it takes part in. Call it at the top level of the script. */
declare function reportProblem(argument: Problem | string): void;

/** Sets how a stage of a problem came out. Call it in the stage function. */
declare function reportStatus(argument: Status | string): void;

/** Construction properties of Network. */
interface NetworkProperties {
}

/**
 * Reaches servers and clears the DNS cache.
 * Records COMPONENT_NAME Network.
 */
declare class Network {
  constructor(properties?: NetworkProperties);
  /** the error code the last method ended with (each answer carries its own "errorcode") */
  errorcode?: number;
  /**
   * Whether the server answers a ping (one ICMP echo, one second): errorcode 0 when it does.
   * @param serverAddress a host name or IP address
   * @returns JSON text of Answer; errorcode 0 or 87, 20016, a Windows error code (messages: docs/script-api.md)
   */
  IsServerReachable(serverAddress: string): AnswerText<Answer>;
  /**
   * Flushes the DNS resolver cache.
   * @returns JSON text of Answer (sets return); errorcode 0 or 20016, 20031 (messages: docs/script-api.md)
   */
  ClearDnsCache(): AnswerText<Answer>;
}

/** Construction properties of OS. */
interface OSProperties {
}

/**
 * Answers questions about Windows: name, edition, version and version checks, bitness, language, UAC level, browsers, domain and management agent, folders. Changes nothing.
 * Records COMPONENT_NAME OS.
 */
declare class OS {
  constructor(properties?: OSProperties);
  /** the error code the last method ended with (each answer carries its own "errorcode") */
  errorcode?: number;
  /**
   * The program that opens http links.
   * @returns JSON text of OSInfo (sets defaultbrowser, status); errorcode 0 or 20024 (messages: docs/script-api.md)
   */
  getDefaultBrowser(): AnswerText<OSInfo>;
  /**
   * The installed browsers among Firefox, Chrome, IE and Edge, joined by ", ".
   * @returns JSON text of OSInfo (sets browsers, status); errorcode 0
   */
  getInstalledBrowsers(): AnswerText<OSInfo>;
  /**
   * The name "Microsoft Windows".
   * @returns JSON text of OSInfo (sets osname, status); errorcode 0
   */
  getOSName(): AnswerText<OSInfo>;
  /**
   * The release, edition and build, e.g. "Windows 10 Professional Edition(Build 19045)".
   * @returns JSON text of OSInfo (sets osname); errorcode 0 or 20021 (messages: docs/script-api.md)
   */
  getOSDetail(): AnswerText<OSInfo>;
  /**
   * The release with its service pack: 10, 8.1, 8, 7 SP1, 7, Vista SP2, ... XP.
   * @returns JSON text of OSInfo (sets osversion, status); errorcode 0
   */
  getOSEdition(): AnswerText<OSInfo>;
  /**
   * The major version number (10 on Windows 10 and 11).
   * @returns JSON text of OSInfo (sets majorversion, status); errorcode 0
   */
  getMajorVersion(): AnswerText<OSInfo>;
  /**
   * The minor version number.
   * @returns JSON text of OSInfo (sets minorversion, status); errorcode 0
   */
  getMinorVersion(): AnswerText<OSInfo>;
  /**
   * "64 Bit" or "32 Bit".
   * @returns JSON text of OSInfo (sets osarchtype, status); errorcode 0
   */
  getOSArchType(): AnswerText<OSInfo>;
  /**
   * The system's display language as a locale name, e.g. en-US.
   * @returns JSON text of OSInfo (sets oslang, status); errorcode 0 or a Windows error code (messages: docs/script-api.md)
   */
  getOSLanguage(): AnswerText<OSInfo>;
  /**
   * The UAC prompt level: 0 unknown or before Windows 8, 1 never notify, 2 notify without dimming, 3 notify (default), 4 always notify.
   * @returns JSON text of OSInfo (sets uacstatus); errorcode 0 or 2, a Windows error code (messages: docs/script-api.md)
   */
  getUACStatus(): AnswerText<OSInfo>;
  /**
   * Whether the OS name is the one given (case ignored): errorcode 0 when it is.
   * @param osName e.g. Microsoft Windows
   * @returns JSON text of Answer; errorcode 0 or 87, 20020 (messages: docs/script-api.md)
   */
  isOfOsName(osName: string): AnswerText<Answer>;
  /**
   * Whether the system is this version or later: errorcode 0 when it is.
   * @param version major[.minor], e.g. 6.1 or 10.0 (one or two digits each)
   * @returns JSON text of Answer; errorcode 0 or 87, 20016, 20020, 20023 (messages: docs/script-api.md)
   */
  isOsVersionOrGreater(version: string): AnswerText<Answer>;
  /**
   * Whether the system is older than this version: errorcode 0 when it is.
   * @param version major[.minor], e.g. 6.1 or 10.0 (one or two digits each)
   * @returns JSON text of Answer; errorcode 0 or 87, 20016, 20020, 20023 (messages: docs/script-api.md)
   */
  isOsVersionLower(version: string): AnswerText<Answer>;
  /**
   * Whether the system is exactly this major.minor version: errorcode 0 when it is.
   * @param version major[.minor], e.g. 6.1 or 10.0 (one or two digits each)
   * @returns JSON text of Answer; errorcode 0 or 87, 20016, 20020, 20023 (messages: docs/script-api.md)
   */
  isOsVersionEqual(version: string): AnswerText<Answer>;
  /**
   * Whether the system has the given bitness: errorcode 0 when it has.
   * @param is64bit 1 asks "64-bit?", anything else "32-bit?"
   * @returns JSON text of Answer; errorcode 0 or 87, 20016, 20020 (messages: docs/script-api.md)
   */
  isOfType(is64bit: number | string): AnswerText<Answer>;
  /**
   * Whether the enterprise management agent is installed: errorcode 0 when it is.
   * @returns JSON text of Answer; errorcode 0 or 2, 20016, 20021, a Windows error code (messages: docs/script-api.md)
   */
  isRavelManaged(): AnswerText<Answer>;
  /**
   * Whether the machine is joined to a domain: errorcode 0 when it is.
   * @returns JSON text of Answer; errorcode 0 or 20016, 20025, a Windows error code (messages: docs/script-api.md)
   */
  isUnderDomain(): AnswerText<Answer>;
  /**
   * The system folder, e.g. C:\Windows\system32.
   * @returns JSON text of OSValue (sets value); errorcode 0 or a Windows error code (messages: docs/script-api.md)
   */
  getSystemDirectory(): AnswerText<OSValue>;
  /**
   * The Windows folder, e.g. C:\Windows.
   * @returns JSON text of OSValue (sets value); errorcode 0 or a Windows error code (messages: docs/script-api.md)
   */
  getWindowsDirectory(): AnswerText<OSValue>;
}

/** Construction properties of Products. */
interface ProductsProperties {
}

/**
 * Finds the maker's installed products and the programs of other makers.
 * Records COMPONENT_NAME Products.
 */
declare class Products {
  constructor(properties?: ProductsProperties);
  /** the error code the last method ended with (each answer carries its own "errorcode") */
  errorcode?: number;
  /**
   * The installed programs of other makers (the uninstall list without the maker's names).
   * @returns JSON text of ProductsInfo (sets status, products); errorcode 0 or 20016, a Windows error code (messages: docs/script-api.md)
   */
  getNonOlvaneProducts(): AnswerText<ProductsInfo>;
  /**
   * The maker's installed products, by the product catalogue's rules.
   * @returns JSON text of ProductsInfo (sets products); errorcode 0 or 20030 (messages: docs/script-api.md)
   */
  getOlvaneProducts(): AnswerText<ProductsInfo>;
  /**
   * Whether any of the maker's products is installed: errorcode 0 when one is.
   * @returns JSON text of ProductsInfo; errorcode 0 or 4312, 20030 (messages: docs/script-api.md)
   */
  isAnyOlvaneProductInstalled(): AnswerText<ProductsInfo>;
  /**
   * Whether the maker's product of this name is installed: errorcode 0 when it is.
   * @param productName a product name as detection reports it
   * @returns JSON text of ProductsInfo; errorcode 0 or 4312, 20030 (messages: docs/script-api.md)
   */
  isOlvaneProductInstalled(productName: string): AnswerText<ProductsInfo>;
  /**
   * Does no check: answers errorcode 0.
   * @returns JSON text of ProductsInfo; errorcode 0
   */
  isOlvaneProductVersionGreaterOrEquals(): AnswerText<ProductsInfo>;
  /**
   * Whether another maker's program of this name is installed: errorcode 0 when it is.
   * @param productName a display name from the uninstall list
   * @returns JSON text of ProductsInfo; errorcode 0 or 4312, 20016 (messages: docs/script-api.md)
   */
  isNonOlvaneProductInstalled(productName: string): AnswerText<ProductsInfo>;
  /**
   * Writes the maker's products and the other programs to PRODUCT_COLLECTION_TABLE.
   * @returns JSON text of Answer; errorcode 0 or 20016, 20030 (messages: docs/script-api.md)
   */
  collect(): AnswerText<Answer>;
  /**
   * Whether the installation logs show no install error: errorcode 0 when they do not.
   * @returns JSON text of Answer; errorcode 0 or 20016 (messages: docs/script-api.md)
   */
  IsCoreComponentInstallSuccess(): AnswerText<Answer>;
}

/** Construction properties of System. */
interface SystemProperties {
}

/**
 * Answers questions about the hardware and the running system: processor, memory, disk space, file system, time, and checks against minimum requirements.
 * Records COMPONENT_NAME System.
 */
declare class System {
  constructor(properties?: SystemProperties);
  /** the error code the last method ended with (each answer carries its own "errorcode") */
  errorcode?: number;
  /**
   * The processor's brand text.
   * @returns JSON text of CPUInfo (sets cpuname, status); errorcode 0 or 20028 (messages: docs/script-api.md)
   */
  getCPUName(): AnswerText<CPUInfo>;
  /**
   * The installed memory, e.g. "8.00 GB(s)".
   * @returns JSON text of MemoryInfo (sets memorysize, status); errorcode 0 or a Windows error code (messages: docs/script-api.md)
   */
  getTotalRAM(): AnswerText<MemoryInfo>;
  /**
   * The available physical memory.
   * @returns JSON text of MemoryInfo (sets freememorysize, status); errorcode 0 or a Windows error code (messages: docs/script-api.md)
   */
  getFreeRAM(): AnswerText<MemoryInfo>;
  /**
   * The physical memory in use.
   * @returns JSON text of MemoryInfo (sets usedmemorysize, status); errorcode 0 or a Windows error code (messages: docs/script-api.md)
   */
  getUsedRAM(): AnswerText<MemoryInfo>;
  /**
   * The commit limit (memory plus page file).
   * @returns JSON text of MemoryInfo (sets memorysize, status); errorcode 0 or a Windows error code (messages: docs/script-api.md)
   */
  getTotalVirtualMemory(): AnswerText<MemoryInfo>;
  /**
   * The commit space still available.
   * @returns JSON text of MemoryInfo (sets freememorysize, status); errorcode 0 or a Windows error code (messages: docs/script-api.md)
   */
  getFreeVirtualMemory(): AnswerText<MemoryInfo>;
  /**
   * The commit space in use.
   * @returns JSON text of MemoryInfo (sets usedmemorysize, status); errorcode 0 or a Windows error code (messages: docs/script-api.md)
   */
  getUsedVirtualMemory(): AnswerText<MemoryInfo>;
  /**
   * The file system of a volume, e.g. NTFS.
   * @param volumeRoot the volume's root, e.g. C:\ (the last argument is the one read)
   * @returns JSON text of FileSystemInfo (sets filesystem, status); errorcode 0 or a Windows error code (messages: docs/script-api.md)
   */
  getFileSystem(volumeRoot: string): AnswerText<FileSystemInfo>;
  /**
   * The local time zone's name.
   * @returns JSON text of TimeInfo (sets timezone, status); errorcode 0 or a Windows error code (messages: docs/script-api.md)
   */
  getTimeZone(): AnswerText<TimeInfo>;
  /**
   * Today's local date as day/month/year without leading zeros, e.g. 5/12/2016.
   * @returns JSON text of TimeInfo (sets date, status); errorcode 0
   */
  getDate(): AnswerText<TimeInfo>;
  /**
   * The local time as hours:minutes:seconds without leading zeros, e.g. 9:5:7.
   * @returns JSON text of TimeInfo (sets time, status); errorcode 0 or 20016 (messages: docs/script-api.md)
   */
  getTime(): AnswerText<TimeInfo>;
  /**
   * The size of the Windows drive, e.g. "237.84" (GB).
   * @returns JSON text of MemoryInfo (sets memorysize); errorcode 0 or 3, 20016, 20021, a Windows error code (messages: docs/script-api.md)
   */
  getSystemSpace(): AnswerText<MemoryInfo>;
  /**
   * The free space of the Windows drive (GB).
   * @returns JSON text of MemoryInfo (sets freememorysize); errorcode 0 or 3, 20016, 20021, a Windows error code (messages: docs/script-api.md)
   */
  getSystemFreeSpace(): AnswerText<MemoryInfo>;
  /**
   * Whether the Windows drive has at least this much free space: errorcode 0 when it has.
   * @param requiredMB free space needed, in MB (2^20 bytes)
   * @returns JSON text of MemoryInfo; errorcode 0 or 20016, 20021, 20034 (messages: docs/script-api.md)
   */
  checkForDiskSpace(requiredMB: number | string): AnswerText<MemoryInfo>;
  /**
   * Whether the processor runs at least this fast: errorcode 0 when it does.
   * @param requiredMHz the clock speed needed, in MHz
   * @returns JSON text of Answer; errorcode 0 or 20016, 20021, 20033, a Windows error code (messages: docs/script-api.md)
   */
  checkForCPUSpeed(requiredMHz: number | string): AnswerText<Answer>;
  /**
   * Whether the installed memory reaches what the running Windows version needs: errorcode 0 when it does.
   * @param requiredMB Windows version (major.minor) to MB needed, e.g. {"6.1": 1024, "10.0": 2048}; a version not listed answers -2147024809
   * @returns JSON text of Answer; errorcode 0 or -2147024809, 20016, 20021 (messages: docs/script-api.md)
   */
  checkForMemorySize(requiredMB: object | string): AnswerText<Answer>;
  /**
   * Whether the machine is online (the report server can be reached): errorcode 0 when it is.
   * @returns JSON text of Answer; errorcode 0 or 20016 (messages: docs/script-api.md)
   */
  isInternetConnected(): AnswerText<Answer>;
}

/** Construction properties of COM. */
interface COMProperties {
  clsid?: string;
  servertype?: string;
  serverpath?: string;
  name?: string;
  is32bit?: boolean | string;
}

/**
 * Checks a COM class registration (class key, server key, server path, server binary) and registers servers.
 * Records COMPONENT_NAME Com.
 */
declare class COM {
  constructor(properties?: COMProperties);
  /** the class identifier as written under HKEY_CLASSES_ROOT\CLSID, braces included */
  clsid?: string;
  /** the server sub-key, e.g. InprocServer32 or LocalServer32 */
  servertype?: string;
  /** the server binary's path (expected, or to register) */
  serverpath?: string;
  /** kept for the script; no method reads it */
  name?: string;
  /** use the 32-bit registry view and the 32-bit system folder */
  is32bit?: boolean;
  /**
   * Whether the class is registered: HKEY_CLASSES_ROOT\CLSID\<clsid> exists.
   * Reads the properties clsid, is32bit.
   * @returns JSON text of Answer (sets status, return); errorcode 0 or 2, 5, 87, 20016, a Windows error code (messages: docs/script-api.md)
   */
  isEntryPresent(): AnswerText<Answer>;
  /**
   * Whether the class key has the server sub-key named by servertype.
   * Reads the properties clsid, servertype, is32bit.
   * @returns JSON text of Answer (sets status, return); errorcode 0 or 2, 5, 87, 20016, 20022, a Windows error code (messages: docs/script-api.md)
   */
  isOfServerType(): AnswerText<Answer>;
  /**
   * Whether the registered server path equals serverpath (case and enclosing double quotes ignored).
   * Reads the properties clsid, servertype, serverpath, is32bit.
   * @returns JSON text of Answer (sets status, return); errorcode 0 or 2, 87, 20016, 20020, 20027, a Windows error code (messages: docs/script-api.md)
   */
  isServerPathMatching(): AnswerText<Answer>;
  /**
   * Whether the server binary the registration names exists on disk.
   * Reads the properties clsid, servertype, is32bit.
   * @returns JSON text of Answer (sets status, return); errorcode 0 or 2, 3, 87, 20016, 20017, a Windows error code (messages: docs/script-api.md)
   */
  isServerBinaryExists(): AnswerText<Answer>;
  /**
   * Registers a server: a DLL through regsvr32, an EXE through its -regserver switch.
   * Reads the properties serverpath, is32bit.
   * @param serverpath the server binary, when the serverpath property is empty
   * @returns JSON text of Answer (sets status, return); errorcode 0 or 2, 87, 20016, 20029, a Windows error code (messages: docs/script-api.md)
   */
  registerCOM(serverpath?: string): AnswerText<Answer>;
}

/** Construction properties of EventLogger. */
interface EventLoggerProperties {
  eventgroup?: string;
}

/**
 * Searches and collects the records of a Windows event log.
 * Records COMPONENT_NAME EventLogger.
 */
declare class EventLogger {
  constructor(properties?: EventLoggerProperties);
  /** the event log: Application, System, Security, ... */
  eventgroup?: string;
  /**
   * Whether the eventgroup log holds an event matching the filter: "return" true when it does.
   * Reads the properties eventgroup.
   * @param eventType 1 error, 2 warning, 4 information, 8 audit success, 16 audit failure
   * @param days only events of the last so many days
   * @param source the event source (case ignored)
   * @param message a text the event's message contains
   * @param eventId the event identifier
   * @returns JSON text of Answer (sets return); errorcode 0 or 87, 20016, a Windows error code (messages: docs/script-api.md)
   */
  IsEventPresent(eventType: string, days: string, source: string, message: string, eventId: string): AnswerText<Answer>;
  /**
   * Writes the matching events of the eventgroup log to a CSV file in the run's collection.
   * Reads the properties eventgroup.
   * @param eventType 1 error, 2 warning, 4 information, 8 audit success, 16 audit failure
   * @param days only events of the last so many days
   * @param source the event source (case ignored)
   * @param message a text the event's message contains
   * @param eventId the event identifier
   * @returns JSON text of Answer; errorcode 0 or 87, 20016, a Windows error code (messages: docs/script-api.md)
   */
  CollectEvent(eventType: string, days: string, source: string, message: string, eventId: string): AnswerText<Answer>;
}

/** Construction properties of File. */
interface FileProperties {
  filename?: string;
  foldername?: string;
  driveletter?: string;
}

/**
 * Checks, reads, changes, searches, downloads and collects files and folders. Most methods work on foldername and filename.
 * Records COMPONENT_NAME File.
 */
declare class File {
  constructor(properties?: FileProperties);
  /** a file name; the search methods accept * and ? */
  filename?: string;
  /** a folder path */
  foldername?: string;
  /** kept for the script; no method reads it */
  driveletter?: string;
  /** the error code the last method ended with (each answer carries its own "errorcode") */
  errorcode?: number;
  /**
   * Whether foldername\filename exists.
   * Reads the properties foldername, filename.
   * @returns JSON text of Answer (sets status, return); errorcode 0 or 2, 3, 87, 111, a Windows error code (messages: docs/script-api.md)
   */
  isFilePresent(): AnswerText<Answer>;
  /**
   * Whether foldername exists and is a folder.
   * Reads the properties foldername.
   * @returns JSON text of Answer (sets status, return); errorcode 0 or 2, 3, a Windows error code (messages: docs/script-api.md)
   */
  isFolderPresent(): AnswerText<Answer>;
  /**
   * Deletes the files in foldername whose names match filename (* and ? allowed).
   * Reads the properties foldername, filename.
   * @param recursive true: descend into subfolders
   * @returns JSON text of Answer; errorcode 0 or 3, 5, 87, 20002, 20016, a Windows error code (messages: docs/script-api.md)
   */
  removeFile(recursive: boolean | string): AnswerText<Answer>;
  /**
   * Deletes foldername: only when empty, or with everything in it.
   * Reads the properties foldername.
   * @param recursive true: delete what it holds first
   * @returns JSON text of Answer (sets status); errorcode 0 or 20023, a Windows error code (messages: docs/script-api.md)
   */
  deleteFolder(recursive: boolean | string): AnswerText<Answer>;
  /**
   * Renames foldername\filename within its folder.
   * Reads the properties foldername, filename.
   * @param newName the new file name
   * @returns JSON text of Answer (sets status); errorcode 0 or 87, 20023, a Windows error code (messages: docs/script-api.md)
   */
  renameFile(newName: string): AnswerText<Answer>;
  /**
   * Whether a line of the file matches the regular expression: errorcode 0 when one does.
   * Reads the properties foldername, filename.
   * @param pattern a regular expression
   * @returns JSON text of Answer (sets status, return); errorcode 0 or 2, 14, 20016, 20020, 20023, 30056, a Windows error code (messages: docs/script-api.md)
   */
  isRegExExistInFile(pattern: string): AnswerText<Answer>;
  /**
   * Adds a file, a file pattern or a folder to the run's collection (copied into collection.cab when the run is packed).
   * Reads the properties foldername, filename.
   * @param destination the path inside the collection
   * @param recursive true: descend into subfolders
   * @param skipSystemFolders read only when exactly three arguments are given
   * @returns JSON text of Answer; errorcode 0 or 3, 87, 20003, 20016, a Windows error code (messages: docs/script-api.md)
   */
  collect(destination: string, recursive: boolean | string, skipSystemFolders?: boolean | string): AnswerText<Answer>;
  /**
   * Downloads a URL into a folder, under the URL's last path element.
   * @param url what to download
   * @param folder an existing folder to put it in
   * @returns JSON text of Answer (sets status); errorcode 0 or 87, 20001, 20004, 20023 (messages: docs/script-api.md)
   */
  downloadFile(url: string, folder: string): AnswerText<Answer>;
  /**
   * Size, times, type and attributes of foldername\filename.
   * Reads the properties foldername, filename.
   * @returns JSON text of FileInfo (sets status, filetype, size, disksize, createdtime, modifiedtime, isreadonly, ishidden); errorcode 0 or 87, 20008, 20009, a Windows error code (messages: docs/script-api.md)
   */
  getFileInfo(): AnswerText<FileInfo>;
  /**
   * Total, used and free space (GB) of the volume holding a path.
   * @param path a path on the volume, e.g. C:\
   * @returns JSON text of DiskInfo (sets status, totalspace, usedspace, freespace); errorcode 0 or 3, 20023, a Windows error code (messages: docs/script-api.md)
   */
  getDiskInfo(path: string): AnswerText<DiskInfo>;
  /**
   * Prints the folder's entries on the program's standard output; answers the empty text and writes no operation record.
   * @param folder the folder to list
   * @returns the empty text
   */
  getFolderContents(folder: string): string;
  /**
   * Writes a CSV line (path, size, times, version) for each file in foldername matching filename.
   * Reads the properties foldername, filename.
   * @param outputFile the CSV file's name; empty: Common.csv
   * @param recursive true: descend into subfolders
   * @param skipSystemFolders true: do not descend into $...$, dllcache, ServicePackFiles, i386 and ~ETTEMP
   * @returns JSON text of Answer; errorcode 0 or 3, 87, 123, 20016, a Windows error code (messages: docs/script-api.md)
   */
  collectFileInfo(outputFile: string, recursive: boolean | string, skipSystemFolders?: boolean | string): AnswerText<Answer>;
  /**
   * Replaces a text in the file, or each whole line holding it.
   * Reads the properties foldername, filename.
   * @param find the text to find
   * @param replacement what replaces it
   * @param wholeLine true: replace each line holding the text (the last argument)
   * @returns JSON text of Answer; errorcode 0 or 2, 87, 20016, a Windows error code (messages: docs/script-api.md)
   */
  findAndReplaceContent(find: string, replacement: string, wholeLine: boolean | string): AnswerText<Answer>;
  /**
   * Writes foldername\filename with the given content.
   * Reads the properties foldername, filename.
   * @param content the file's text
   * @param overwrite true: replace an existing file (the last argument)
   * @returns JSON text of Answer; errorcode 0 or 3, 87, 20016, 30057 (messages: docs/script-api.md)
   */
  create(content: string, overwrite: boolean | string): AnswerText<Answer>;
  /**
   * Copies a file.
   * @param source the file to copy
   * @param destination the new file's path
   * @returns JSON text of Answer; errorcode 0 or 3, 87, 20016, a Windows error code (messages: docs/script-api.md)
   */
  createCopy(source: string, destination: string): AnswerText<Answer>;
  /**
   * Extracts every file of a cabinet (.cab) into a folder.
   * @param cabinet the cabinet's path
   * @param destination the folder to extract into
   * @returns JSON text of Answer; errorcode 0 or 3, 87, 20016 (messages: docs/script-api.md)
   */
  extractCompressedFile(cabinet: string, destination: string): AnswerText<Answer>;
}

/** Construction properties of Process. */
interface ProcessProperties {
  name?: string;
  path?: string;
}

/**
 * Finds, starts, stops and collects processes.
 * Records COMPONENT_NAME ProcessAPI.
 */
declare class Process {
  constructor(properties?: ProcessProperties);
  /** the program's executable name, e.g. notepad.exe */
  name?: string;
  /** the program's folder, for start */
  path?: string;
  /** the error code the last method ended with (each answer carries its own "errorcode") */
  errorcode?: number;
  /**
   * Whether a process named name runs (case ignored; name may also be a regular expression in lower case): errorcode 0 when one does.
   * Reads the properties name.
   * @returns JSON text of Answer (sets status, return); errorcode 0 or 87, 30052, a Windows error code (messages: docs/script-api.md)
   */
  isRunning(): AnswerText<Answer>;
  /**
   * Starts path\name with an argument text, optionally waiting for it to end with exit code 0.
   * Reads the properties name, path.
   * @param wait true: wait for the program to end
   * @param maxWaitSeconds how long to wait
   * @param argument the program's command-line arguments
   * @returns JSON text of Answer (sets status); errorcode 0 or 87, 30055, a Windows error code (messages: docs/script-api.md)
   */
  start(wait: boolean | string, maxWaitSeconds: number | string, argument: string): AnswerText<Answer>;
  /**
   * Ends every process whose executable is named name (case ignored).
   * Reads the properties name.
   * @returns JSON text of Answer (sets status); errorcode 0 or 87, 127, 20014, a Windows error code (messages: docs/script-api.md)
   */
  stop(): AnswerText<Answer>;
  /**
   * Does nothing: answers the empty text and writes no operation record.
   * @returns the empty text
   */
  isAdmin(): string;
  /**
   * Whether the running process named name is a 32-bit process.
   * Reads the properties name.
   * @returns JSON text of Answer (sets status, return); errorcode 0 or 87, 20015, 30051, 30053, a Windows error code (messages: docs/script-api.md)
   */
  is32Bit(): AnswerText<Answer>;
  /**
   * Writes every running process (name, path, user, memory, modules) to PROCESS_COLLECTION_TABLE.
   * @returns JSON text of Answer; errorcode 0 or 20014, a Windows error code (messages: docs/script-api.md)
   */
  collect(): AnswerText<Answer>;
  /**
   * Downloads a program (or a cabinet holding it) and runs it.
   * @param sourceUrl what to download (a .cab is extracted)
   * @param processName the program file to run from the download
   * @param downloadFolder where to put it; empty: the temporary folder
   * @param commandLine the program's arguments
   * @param showUI false: run without a window
   * @param waitSeconds how long to wait for its end; 0: do not wait
   * @returns JSON text of Answer (sets status); errorcode 0 or 87, 20001, 20004, 20016, 20023, 30055, a Windows error code (messages: docs/script-api.md)
   */
  ExecuteExternalApplication(sourceUrl: string, processName: string, downloadFolder: string, commandLine: string, showUI: boolean | string, waitSeconds: number | string): AnswerText<Answer>;
}

/** Construction properties of Registry. */
interface RegistryProperties {
  key?: string;
  value?: string;
  data?: string;
  type?: string;
  is32bit?: boolean | string;
}

/**
 * Checks, reads, changes, collects and imports registry keys and values. Set the properties, then call a method; each answers "status" (the question could be answered) and "return" (the answer).
 * Records COMPONENT_NAME Registry.
 */
declare class Registry {
  constructor(properties?: RegistryProperties);
  /** the key: a root (HKLM, HKCU, HKCR, HKUS, HKCC or the full names), a backslash and the sub-key path */
  key?: string;
  /** a value name; empty names the key's default value */
  value?: string;
  /** the data setValue writes */
  data?: string;
  /** a Windows value type as decimal text: 1 REG_SZ, 2 REG_EXPAND_SZ, 3 REG_BINARY, 4 REG_DWORD, 7 REG_MULTI_SZ, 11 REG_QWORD */
  type?: string;
  /** work in the 32-bit registry view (WOW6432Node) */
  is32bit?: boolean;
  /**
   * Whether the key exists: "return" true when it does.
   * Reads the properties key, is32bit.
   * @returns JSON text of Answer (sets status, return); errorcode 0 or 2, 5, 87, 20016, a Windows error code (messages: docs/script-api.md)
   */
  isKeyPresent(): AnswerText<Answer>;
  /**
   * Whether the value named by value has the Windows type given in type.
   * Reads the properties key, value, type, is32bit.
   * @returns JSON text of Answer (sets status, return); errorcode 0 or 2, 87, 20016, 20017, a Windows error code (messages: docs/script-api.md)
   */
  isOfDataType(): AnswerText<Answer>;
  /**
   * Whether the key holds the value named by value (empty: the default value).
   * Reads the properties key, value, is32bit.
   * @returns JSON text of Answer (sets status, return); errorcode 0 or 2, 87, 20016, a Windows error code (messages: docs/script-api.md)
   */
  isValuePresent(): AnswerText<Answer>;
  /**
   * Whether the value exists and holds data.
   * Reads the properties key, value, is32bit.
   * @returns JSON text of Answer (sets status, return); errorcode 0 or 2, 87, 20016, 20021, 20026, a Windows error code (messages: docs/script-api.md)
   */
  isDataPresent(): AnswerText<Answer>;
  /**
   * Creates the key with its missing parents; an existing key is success.
   * Reads the properties key, is32bit.
   * @returns JSON text of Answer (sets status, return); errorcode 0 or 5, 87, 20016, a Windows error code (messages: docs/script-api.md)
   */
  createKey(): AnswerText<Answer>;
  /**
   * Whether a sub-key of key has a name matching the pattern.
   * Reads the properties key, is32bit.
   * @param InKey a regular expression matched against whole key names, case ignored
   * @param bisRecursive true: look in every sub-key below as well
   * @returns JSON text of Answer (sets status, return); errorcode 0 or 87, 20016, 20018, 20023, 20027 (messages: docs/script-api.md)
   */
  isKeyMatch(InKey: string, bisRecursive: boolean | string): AnswerText<Answer>;
  /**
   * Whether a value of key has a name matching the pattern.
   * Reads the properties key, is32bit.
   * @param InValue a regular expression matched against whole value names, case ignored
   * @param bisRecursive true: look in every sub-key below as well
   * @returns JSON text of Answer (sets status, return); errorcode 0 or 87, 20016, 20019, 20023, 20027 (messages: docs/script-api.md)
   */
  isValueMatch(InValue: string, bisRecursive: boolean | string): AnswerText<Answer>;
  /**
   * Deletes the sub-keys of key whose names match the pattern, or key itself when the pattern is empty.
   * Reads the properties key, is32bit.
   * @param InKey a regular expression over sub-key names; empty: key itself (refused for a root alone)
   * @param isRecursive true: look in every sub-key below as well
   * @returns JSON text of Answer (sets status, return); errorcode 0 or 87, 20016, 20023, 20027, a Windows error code (messages: docs/script-api.md)
   */
  deleteKey(InKey: string, isRecursive: boolean | string): AnswerText<Answer>;
  /**
   * Deletes the values of key whose names match the pattern.
   * Reads the properties key, is32bit.
   * @param InValue a regular expression over value names
   * @param isRecursive true: look in every sub-key below as well
   * @returns JSON text of Answer (sets status, return); errorcode 0 or 87, 20016, 20023, 20027, a Windows error code (messages: docs/script-api.md)
   */
  deleteValue(InValue: string, isRecursive: boolean | string): AnswerText<Answer>;
  /**
   * Writes data as the value named by value, of the Windows type in type, creating the key when missing.
   * Reads the properties key, value, data, type, is32bit.
   * @returns JSON text of Answer (sets status, return); errorcode 0 or 87, 20016, a Windows error code (messages: docs/script-api.md)
   */
  setValue(): AnswerText<Answer>;
  /**
   * Whether the data of the value named by value matches InData.
   * Reads the properties key, value, is32bit.
   * @param TypeOfCheck 0: InData is a regular expression; 1: a comma-separated list, any item equal; 2: equal, case and enclosing double quotes ignored
   * @param InData what the data is compared with
   * @returns JSON text of Answer (sets status, return); errorcode 0 or 87, 20016, 20020, 20023, 20027, a Windows error code (messages: docs/script-api.md)
   */
  isDataMatching(TypeOfCheck: number | string, InData: string): AnswerText<Answer>;
  /**
   * Reads the value named by value as text, with its Windows type.
   * Reads the properties key, value, is32bit.
   * @returns JSON text of RegistryValue (sets status, value, type); errorcode 0 or 2, 87, 20016, 20017, a Windows error code (messages: docs/script-api.md)
   */
  getValue(): AnswerText<RegistryValue>;
  /**
   * Exports key (and its sub-keys) as a .reg file into the run's collection.
   * Reads the properties key, value, is32bit.
   * @returns JSON text of Answer (sets status, return); errorcode 0 or 87, 20016, a Windows error code (messages: docs/script-api.md)
   */
  collect(): AnswerText<Answer>;
  /**
   * Imports a .reg file, or the .reg file of the same name inside a .cab, from a path or URL.
   * @param filetoimport a path or URL ending in .reg or .cab
   * @returns JSON text of Answer; errorcode 0 or 87, 20016, 30058, 30059, 30060 (messages: docs/script-api.md)
   */
  importRegistry(filetoimport: string): AnswerText<Answer>;
  /**
   * Imports a registry file, then gives an account full access to key.
   * Reads the properties key.
   * @param filetodownloadandextract a path or URL ending in .reg or .cab
   * @param accountnamevalue the account to give full access
   * @param filetoimport the .reg file to import (inside the cabinet for a .cab)
   * @returns JSON text of Answer; errorcode 0 or 87, 20016, 30058, 30059, 30060, a Windows error code (messages: docs/script-api.md)
   */
  importRegistryAndPermissionSet(filetodownloadandextract: string, accountnamevalue: string, filetoimport: string): AnswerText<Answer>;
}

/** Construction properties of Service. */
interface ServiceProperties {
  name?: string;
  displayname?: string;
  path?: string;
  startuptype?: string;
  status?: string;
}

/**
 * Checks, starts, stops, configures, creates, deletes and collects Windows services.
 * Records COMPONENT_NAME Service.
 */
declare class Service {
  constructor(properties?: ServiceProperties);
  /** the service (key) name */
  name?: string;
  /** the display name, for create */
  displayname?: string;
  /** the binary path with its arguments, for create */
  path?: string;
  /** 0 manual, 1 automatic, 2 disabled, 3 boot, 4 system */
  startuptype?: string;
  /** 1 stopped, 2 start pending, 3 stop pending, 4 running, 5 continue pending, 6 pause pending, 7 paused; setStatus also 8 (restart) */
  status?: string;
  /** the error code the last method ended with (each answer carries its own "errorcode") */
  errorcode?: number;
  /**
   * Whether the service exists, and when startuptype or status is set, whether it has them.
   * Reads the properties name, startuptype, status.
   * @returns JSON text of ServiceAnswer (sets status, return); errorcode 0 or 87, 1060, 20016, 30001, 30002, a Windows error code (messages: docs/script-api.md)
   */
  isPresent(): AnswerText<ServiceAnswer>;
  /**
   * Asks the service to stop (1), run (4), pause (7) or restart (8); does not wait.
   * Reads the properties name, status.
   * @returns JSON text of ServiceAnswer (sets status, return); errorcode 0 or 87, 1060, 20016, 30005, a Windows error code (messages: docs/script-api.md)
   */
  setStatus(): AnswerText<ServiceAnswer>;
  /**
   * Sets the service's startup type.
   * Reads the properties name, startuptype.
   * @returns JSON text of ServiceAnswer (sets status, return); errorcode 0 or 87, 1060, 20016, a Windows error code (messages: docs/script-api.md)
   */
  setStartUpType(): AnswerText<ServiceAnswer>;
  /**
   * Whether the service is in the state given by status.
   * Reads the properties name, status.
   * @returns JSON text of ServiceAnswer (sets status, return); errorcode 0 or 87, 1060, 20016, 30006, a Windows error code (messages: docs/script-api.md)
   */
  checkStatus(): AnswerText<ServiceAnswer>;
  /**
   * Whether the service has the startup type given by startuptype.
   * Reads the properties name, startuptype.
   * @returns JSON text of ServiceAnswer (sets status, return); errorcode 0 or 87, 1060, 20016, 30007, a Windows error code (messages: docs/script-api.md)
   */
  checkStartUpType(): AnswerText<ServiceAnswer>;
  /**
   * Creates an own-process service running path.
   * Reads the properties name, displayname, path, startuptype.
   * @returns JSON text of ServiceAnswer (sets status, return); errorcode 0 or 87, 1073, 20016, a Windows error code (messages: docs/script-api.md)
   */
  create(): AnswerText<ServiceAnswer>;
  /**
   * Stops the service when it runs, then deletes it.
   * Reads the properties name.
   * @returns JSON text of ServiceAnswer (sets status, return); errorcode 0 or 87, 1060, 20016, 30008, a Windows error code (messages: docs/script-api.md)
   */
  deleteService(): AnswerText<ServiceAnswer>;
  /**
   * Writes every Win32 service with its configuration to SERVICE_TABLE.
   * @returns JSON text of ServiceAnswer (sets status, return); errorcode 0 or 20016, a Windows error code (messages: docs/script-api.md)
   */
  collect(): AnswerText<ServiceAnswer>;
  /**
   * Whether the named service depends on this one and is in the given state.
   * Reads the properties name.
   * @param dependentName the dependent service's name
   * @param dependentStatus its state, numbered as status
   * @returns JSON text of ServiceAnswer (sets status, return); errorcode 0 or 87, 1060, 20016, 30003, 30004, 30009, 30010, a Windows error code (messages: docs/script-api.md)
   */
  hasDependency(dependentName: string, dependentStatus: number | string): AnswerText<ServiceAnswer>;
}

/** Construction properties of ScriptEngine. */
interface ScriptEngineProperties {
  languagename?: string;
  functionname?: string;
}

/**
 * Runs a rule written in JScript or VBScript.
 * Records COMPONENT_NAME ScriptEngine.
 */
declare class ScriptEngine {
  constructor(properties?: ScriptEngineProperties);
  /** the script engine, e.g. JScript or VBScript */
  languagename?: string;
  /** the function executeScript calls */
  functionname?: string;
  /** the error code the last method ended with (each answer carries its own "errorcode") */
  errorcode?: number;
  /**
   * Runs a script text in the languagename engine and calls its function: errorcode 0 when the function returned true.
   * Reads the properties languagename, functionname.
   * @param script the script text
   * @param functionName the function to call, in place of the functionname property
   * @returns JSON text of Answer (sets status); errorcode 0 or 2, 87 (messages: docs/script-api.md)
   */
  executeScript(script: string, functionName?: string): AnswerText<Answer>;
}


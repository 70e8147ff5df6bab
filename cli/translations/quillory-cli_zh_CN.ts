<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>Cli</name>
    <message>
        <source>Usage: quillory-cli [options] BAR...</source>
        <translation>用法：quillory-cli [选项] 吧名...</translation>
    </message>
    <message>
        <source>Try &apos;quillory-cli --help&apos; for more information.</source>
        <translation>运行“quillory-cli --help”查看更多信息。</translation>
    </message>
    <message>
        <source>Put the bar folders in DIR (default: the current folder).</source>
        <translation>把吧文件夹放在 DIR 中（默认：当前文件夹）。</translation>
    </message>
    <message>
        <source>DIR</source>
        <translation>DIR</translation>
    </message>
    <message>
        <source>Fetch every picture again, also those already saved.</source>
        <translation>重新获取每张图片，包括已经保存的。</translation>
    </message>
    <message>
        <source>Retry a bar&apos;s failed pictures up to N more rounds (default 2).</source>
        <translation>对一个吧下载失败的图片最多再重试 N 轮（默认 2）。</translation>
    </message>
    <message>
        <source>N</source>
        <translation>N</translation>
    </message>
    <message>
        <source>Count the albums&apos; pictures and save nothing; prints one line per album: index, title and picture count, separated by tabs.</source>
        <translation>只统计各相册的图片，不保存任何东西；每个相册输出一行：序号、标题和图片数，以制表符分隔。</translation>
    </message>
    <message>
        <source>Print the address of every picture, one per line, and save nothing, for other download tools.</source>
        <translation>逐行输出每张图片的地址，不保存任何东西，供其他下载工具使用。</translation>
    </message>
    <message>
        <source>Write album.json beside each album&apos;s pictures: the bar, the album&apos;s id, address and title, and each picture&apos;s number, id, address, size and time saved.</source>
        <translation>在每个相册的图片旁写入 album.json：吧名，相册的编号、地址和标题，以及每张图片的序号、编号、地址、大小和保存时间。</translation>
    </message>
    <message>
        <source>No log lines: only the summaries and errors.</source>
        <translation>不输出日志行：只输出汇总和错误。</translation>
    </message>
    <message>
        <source>BAR</source>
        <translation>吧名</translation>
    </message>
    <message>
        <source>The names of the bars, with or without 吧.</source>
        <translation>吧的名称，带不带“吧”字均可。</translation>
    </message>
    <message>
        <source>BAR...</source>
        <translation>吧名...</translation>
    </message>
    <message>
        <source>a bar name is empty</source>
        <translation>有一个吧名为空</translation>
    </message>
    <message>
        <source>no bar given</source>
        <translation>没有给出吧名</translation>
    </message>
    <message>
        <source>-R needs a whole number of 0 or more, not &quot;%1&quot;</source>
        <translation>-R 需要一个不小于 0 的整数，而不是“%1”</translation>
    </message>
    <message>
        <source>cannot create or write the folder %1: %2</source>
        <translation>无法创建或写入文件夹 %1：%2</translation>
    </message>
    <message>
        <source>unknown reason</source>
        <translation>原因不明</translation>
    </message>
    <message>
        <source>cannot create a temporary folder: %1</source>
        <translation>无法创建临时文件夹：%1</translation>
    </message>
    <message>
        <source>cannot create the folder %1: %2</source>
        <translation>无法创建文件夹 %1：%2</translation>
    </message>
    <message>
        <source>%1吧: the album list could not be fetched</source>
        <translation>%1吧：无法获取相册列表</translation>
    </message>
    <message>
        <source>%1吧 has no albums; the bar&apos;s name may be wrong</source>
        <translation>%1吧没有相册；吧名可能有误</translation>
    </message>
    <message>
        <source>interrupted at album %1/%2, </source>
        <translation>在第 %1/%2 个相册处中断，</translation>
    </message>
    <message>
        <source>albums %1, </source>
        <translation>相册 %1 个，</translation>
    </message>
    <message>
        <source>pictures %1 (addresses only)</source>
        <translation>图片 %1 张（只列地址）</translation>
    </message>
    <message>
        <source>pictures %1 (dry run)</source>
        <translation>图片 %1 张（试运行）</translation>
    </message>
    <message>
        <source>saved %1, skipped %2, failed %3</source>
        <translation>保存 %1 张，跳过 %2 张，失败 %3 张</translation>
    </message>
    <message>
        <source>, %1 s</source>
        <translation>，%1 秒</translation>
    </message>
    <message>
        <source>cannot write %1: %2</source>
        <translation>无法写入 %1：%2</translation>
    </message>
    <message>
        <source>cannot use the resume record: %1; every picture is fetched and none recorded</source>
        <translation>无法使用续传记录：%1；所有图片都重新获取，且不作记录</translation>
    </message>
    <message>
        <source>cannot rewrite %1 (%2); the old one stays, and this run records nothing</source>
        <translation>无法重写 %1（%2）；旧文件保留不变，本次运行不作记录</translation>
    </message>
    <message>
        <source>cannot rewrite %1 (%2); the old one stays</source>
        <translation>无法重写 %1（%2）；旧文件保留不变</translation>
    </message>
    <message>
        <source>cannot update the resume record in %1 (%2); the next run fetches these pictures again</source>
        <translation>无法更新 %1 中的续传记录（%2）；下次运行将重新获取这些图片</translation>
    </message>
    <message>
        <source>%1吧: busy: another process is downloading it into %2</source>
        <translation>%1吧：忙：另一个进程正在把它下载到 %2</translation>
    </message>
    <message>
        <source>%1 is a link; it is not read</source>
        <translation>%1 是一个链接，不予读取</translation>
    </message>
    <message>
        <source>%1: %2 lines name no picture of this bar; they are dropped</source>
        <translation>%1：有 %2 行指向的不是本吧的图片，已丢弃</translation>
    </message>
    <message>
        <source>cannot remove %1 (%2)</source>
        <translation>无法删除 %1（%2）</translation>
    </message>
    <message>
        <source>cannot write %1 (%2); %3 pictures failed</source>
        <translation>无法写入 %1（%2）；%3 张图片失败</translation>
    </message>
    <message>
        <source>%1 pictures failed; listed in %2</source>
        <translation>%1 张图片失败；已列在 %2 中</translation>
    </message>
    <message>
        <source>%1 pictures failed, none with an address to retry</source>
        <translation>%1 张图片失败，都没有可供重试的地址</translation>
    </message>
    <message>
        <source>%1 pictures failed; %2 listed in %3, %4 without an address to retry</source>
        <translation>%1 张图片失败；%2 张已列在 %3 中，%4 张没有可供重试的地址</translation>
    </message>
    <message>
        <source>interrupted before the first album&apos;s pictures, </source>
        <translation>在第一个相册的图片之前中断，</translation>
    </message>
    <message>
        <source>Downloads every picture of every photo album of each BAR, one bar after another, as
DIR/&lt;bar&gt;吧/&lt;album title&gt;/&lt;n&gt;.jpg. Standard output lists the path of every picture saved,
one per line; standard error carries the log, a summary per bar and, on a terminal, a
progress line.

A later run skips every picture whose file still holds the same picture as recorded in
the bar folder&apos;s hidden record, and fetches everything else.

Exit codes, the worst of all bars (later in this list is worse):
  0    every picture saved or skipped
  1    some pictures or albums still failed after the retries; the pictures that
       can be fetched again are listed in &lt;bar&gt;吧/failed.txt
  3    the album list of a bar could not be fetched at all
  2    usage error, a folder that cannot be created, or a bar that another process
       is downloading into the same folder
  130  stopped by SIGINT or SIGTERM; 141 when standard output was closed

Its own texts follow the locale (LANG=zh_CN.UTF-8 for Chinese); the job&apos;s log is Chinese.
QUILLORY_FORUM_HOST and QUILLORY_IMAGE_HOST (host[:port]) replace the forum&apos;s hosts.</source>
        <translation>逐个下载每个吧（BAR）所有相册的全部图片，保存为
DIR/&lt;吧名&gt;吧/&lt;相册标题&gt;/&lt;序号&gt;.jpg。标准输出逐行列出每张已保存图片的路径；
标准错误输出日志、每个吧的汇总，在终端上还有一行进度。

再次运行时，文件仍是吧文件夹中隐藏记录所记的同一张图片的，一律跳过，
其余的重新获取。

退出码取所有吧中最差的一个（越往下越差）：
  0    每张图片都已保存或跳过
  1    重试之后仍有图片或相册失败；能再次获取的图片列在 &lt;吧名&gt;吧/failed.txt 中
  3    某个吧的相册列表完全无法获取
  2    用法错误、无法创建文件夹，或另一个进程正把该吧下载到同一文件夹
  130  被 SIGINT 或 SIGTERM 停止；标准输出被关闭时为 141

本程序自身的文字随区域设置而定（LANG=zh_CN.UTF-8 为中文）；任务日志为中文。
QUILLORY_FORUM_HOST 和 QUILLORY_IMAGE_HOST（主机[:端口]）替换论坛的主机。</translation>
    </message>
    <message>
        <source>How album pages are paced: fixed (the forum&apos;s own pace, the default) or adaptive (each page as fast as it renders). Overrides the settings file.</source>
        <translation>相册页面的节奏：fixed（论坛自己的节奏，默认）或 adaptive（每页渲染多快就多快）。优先于设置文件。</translation>
    </message>
    <message>
        <source>PACE</source>
        <translation>节奏</translation>
    </message>
    <message>
        <source>Load up to K album pages side by side, 1 to 4 (default 1). Overrides the settings file.</source>
        <translation>同时加载最多 K 个相册页面，1 到 4（默认 1）。优先于设置文件。</translation>
    </message>
    <message>
        <source>K</source>
        <translation>K</translation>
    </message>
    <message>
        <source>--pace needs fixed or adaptive, not &quot;%1&quot;</source>
        <translation>--pace 需要 fixed 或 adaptive，而不是“%1”</translation>
    </message>
    <message>
        <source>--pages needs a whole number from 1 to 4, not &quot;%1&quot;</source>
        <translation>--pages 需要 1 到 4 之间的整数，而不是“%1”</translation>
    </message>
    <message>
        <source>passed over %1, </source>
        <translation>略过已完成的相册 %1 个，</translation>
    </message>
    <message>
        <source>Do not render again the albums an earlier run finished with every picture saved: only new albums, and those with pictures missing, are fetched.</source>
        <translation>不再渲染以前的运行已保存全部图片的相册：只获取新相册和缺少图片的相册。</translation>
    </message>
    <message>
        <source>%1吧</source>
        <translation>%1吧</translation>
    </message>
    <message>
        <source>listing albums</source>
        <translation>正在获取相册列表</translation>
    </message>
    <message>
        <source>loading album %1/%2</source>
        <translation>正在载入相册 %1/%2</translation>
    </message>
    <message>
        <source>albums %1</source>
        <translation>相册 %1 个</translation>
    </message>
    <message>
        <source>album %1/%2</source>
        <translation>相册 %1/%2</translation>
    </message>
    <message>
        <source>pictures %1</source>
        <translation>图片 %1 张</translation>
    </message>
    <message>
        <source>(saved %1, skipped %2, failed %3)</source>
        <translation>（保存 %1，跳过 %2，失败 %3）</translation>
    </message>
    <message>
        <source>addresses %1</source>
        <translation>地址 %1 个</translation>
    </message>
    <message>
        <source>%1 elapsed</source>
        <translation>已用 %1</translation>
    </message>
    <message>
        <source>about %1 left</source>
        <translation>约剩 %1</translation>
    </message>
    <message>
        <source>, </source>
        <comment>between the time spent and the time left</comment>
        <translation>，</translation>
    </message>
    <message>
        <source>Like every Qt program, it also takes Qt&apos;s own options, such as -platform NAME, -reverse or -style NAME; see the documentation of QGuiApplication. Without them the pages render offscreen.</source>
        <translation>与所有 Qt 程序一样，它也接受 Qt 自己的选项，例如 -platform NAME、-reverse 或 -style NAME；参见 QGuiApplication 的文档。不给出时页面在屏幕外渲染。</translation>
    </message>
    <message>
        <source>To go on from here: %1</source>
        <translation>从这里继续：%1</translation>
    </message>
    <message>
        <source>Permission denied</source>
        <translation>权限不够</translation>
    </message>
    <message>
        <source>No such file or directory</source>
        <translation>没有那个文件或目录</translation>
    </message>
    <message>
        <source>Not a directory</source>
        <translation>不是目录</translation>
    </message>
    <message>
        <source>Is a directory</source>
        <translation>是一个目录</translation>
    </message>
    <message>
        <source>File exists</source>
        <translation>文件已存在</translation>
    </message>
    <message>
        <source>No space left on device</source>
        <translation>设备上没有空间</translation>
    </message>
    <message>
        <source>Read-only file system</source>
        <translation>只读文件系统</translation>
    </message>
    <message>
        <source>Disk quota exceeded</source>
        <translation>超出磁盘配额</translation>
    </message>
    <message>
        <source>File name too long</source>
        <translation>文件名过长</translation>
    </message>
    <message>
        <source>Operation not permitted</source>
        <translation>不允许的操作</translation>
    </message>
    <message>
        <source>Too many levels of symbolic links</source>
        <translation>符号链接的层数过多</translation>
    </message>
    <message>
        <source>Input/output error</source>
        <translation>输入/输出错误</translation>
    </message>
    <message>
        <source>Too many open files</source>
        <translation>打开的文件过多</translation>
    </message>
    <message>
        <source>Directory not empty</source>
        <translation>目录非空</translation>
    </message>
</context>
<context>
    <name>QCommandLineParser</name>
    <message>
        <source>Usage: %1</source>
        <translation>用法：%1</translation>
    </message>
    <message>
        <source>Options:</source>
        <translation>选项：</translation>
    </message>
    <message>
        <source>Arguments:</source>
        <translation>参数：</translation>
    </message>
    <message>
        <source>[options]</source>
        <translation>[选项]</translation>
    </message>
    <message>
        <source>Displays help on commandline options.</source>
        <translation>显示命令行选项的帮助。</translation>
    </message>
    <message>
        <source>Displays help including Qt specific options.</source>
        <translation>显示帮助，包括 Qt 特有的选项。</translation>
    </message>
    <message>
        <source>Displays version information.</source>
        <translation>显示版本信息。</translation>
    </message>
    <message>
        <source>Unknown option &apos;%1&apos;.</source>
        <translation>未知选项“%1”。</translation>
    </message>
    <message>
        <source>Unknown options: %1.</source>
        <translation>未知选项：%1。</translation>
    </message>
    <message>
        <source>Missing value after &apos;%1&apos;.</source>
        <translation>“%1”后缺少值。</translation>
    </message>
    <message>
        <source>Unexpected value after &apos;%1&apos;.</source>
        <translation>“%1”后有多余的值。</translation>
    </message>
</context>
</TS>

#pragma once

#include <QIcon>

// The program's 16 × 16 pictures. They are drawn as SVG on a 16-unit grid and
// rendered here, at each size only when something first draws them at it, so
// they stay sharp at 1× and on high-DPI screens and cost nothing at start.
namespace Pictures {

// Tree pictures: 0 date node; 1 没有完成, 2 进行中, 3 已经完成, 4 取消 (the
// status code is the index). Any other index gives a null icon.
QIcon imageList1(int index);

// Menu pictures by menu index: 0 显示主窗口, 1 添加日程, 2 个性设置, 3 日程提醒,
// 5 帮助, 8 删除日程, 9 编辑日程, 11 添加备注, 12 状态设置, 13 退出,
// 14 没有完成 and 查阅工作笔记, 15 取消, 16 进行中, 17 已经完成. Any other
// index gives a null icon.
QIcon imageList2(int index);

// The personal settings window: tabs 0 个性设置, 1 日程颜色方案, 2 常用日程设置;
// rows 3 the reminder interval, 4 the marquee text. Any other index gives a
// null icon.
QIcon gxszPicture(int index);

// Pictures of the query and note windows: 0 查询 (the query tab and its
// button), 1 the browse tab, 2 确定. Any other index gives a null icon.
QIcon viewPicture(int index);

// The program's own picture (window and tray).
QIcon appIcon();

} // namespace Pictures

//Maya ASCII 4.0 scene
//Name: shot_0020.ma
requires maya "4.0";
currentUnit -l centimeter -a degree -t film;
playbackOptions -min 101 -max 105 -animationStartTime 101;
createNode resolution -n "TrackerResolution";
	setAttr ".w" 1920;
	setAttr ".h" 1080;
	setAttr ".pa" 1;
	setAttr ".dar" 1.777778;
createNode transform -n "VoodooCam";
	setAttr ".t" -type "double3" 0 0 0 ;
createNode camera -n "VoodooCamShape" -p "VoodooCam";
createNode animCurveTL -n "VoodooCam_translateX";
	setAttr -s 5 ".ktv[0:4]" 101 0 102 0.25 103 0.5 104 0.75 105 1 ;
createNode animCurveTL -n "VoodooCam_translateY";
	setAttr -s 5 ".ktv[0:4]" 101 1.5 102 1.5 103 1.52 104 1.55 105 1.6 ;
createNode animCurveTL -n "VoodooCam_translateZ";
	setAttr -s 5 ".ktv[0:4]" 101 -10 102 -9.5 103 -9 104 -8.5 105 -8 ;
createNode animCurveTA -n "VoodooCam_rotateX";
	setAttr -s 5 ".ktv[0:4]" 101 -90 102 -89.5 103 -89 104 -88.25 105 -87.5 ;
createNode animCurveTA -n "VoodooCam_rotateY";
	setAttr -s 5 ".ktv[0:4]" 101 0 102 1.25 103 2.5 104 3.75 105 5 ;
createNode animCurveTA -n "VoodooCam_rotateZ";
	setAttr -s 5 ".ktv[0:4]" 101 0 102 -0.1 103 -0.2 104 -0.3 105 0.4 ;
//Tracker export -fps 24
createNode transform -n "Tracker_1";
	setAttr ".t" -type "double3" 1.5 -2.25 10;
createNode locator -n "Tracker_1Shape" -p "Tracker_1";
	setAttr -k off ".v";
createNode transform -n "Tracker_2";
	setAttr ".t" -type "double3" -0.5 3 0.125 ;
createNode locator -n "Tracker_2Shape" -p "Tracker_2";
	setAttr -k off ".v";
createNode transform -n "Tracker_3";
	setAttr ".t" -type "double3" 4.2 7.7;
createNode locator -n "Tracker_3Shape" -p "Tracker_3";
	setAttr -k off ".v";
createNode transform -n "Tracker_4";
	setAttr ".t" -type "double3" 0 1e-3 -12.5;
createNode locator -n "Tracker_4Shape" -p "Tracker_4";
	setAttr -k off ".v";
connectAttr "VoodooCam_translateX.o" "VoodooCam.translateX";
// End of shot_0020.ma
